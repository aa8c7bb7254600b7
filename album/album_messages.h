#pragma once
// How a run's end reads, the same in the generation window and in kelvora-album.
#include "album/album_run.h"

#include <QString>

namespace kelvora {

// A failed run: "<picture>: <message> (<library's or system's words>)", or the
// message alone when no picture is to blame.
QString AlbumErrorText(const Exception& error);

// The pictures a run left out: "読めない画像 N 枚を飛ばしました" and a line per
// picture as AlbumErrorText gives it; empty when none was left out.
QString SkippedPicturesText(const TAlbumRunResult& result);

} // namespace kelvora

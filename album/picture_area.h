#pragma once
// How much work a picture is, so that a run can start its largest pictures first:
// decoding, scaling and encoding all grow with the source's pixels.
#include "album/picture_job.h"

#include <cstddef>
#include <cstdint>

namespace kelvora {

// The source's pixels: a JPEG's from its header; any other picture's from the
// working memory its estimate gave (its whole bitmap, about four bytes a pixel),
// so that a plug-in is not asked twice. 0 for a file that cannot be read.
std::uint64_t EstimatePictureArea(const TPictureJob& job, std::size_t workingMemory);

} // namespace kelvora

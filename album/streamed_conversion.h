#pragma once
// The album's conversion of a JPEG file without holding the decoded picture. Rows
// are decoded a few at a time and each goes straight to the scaled copies that
// sample it: a nearest-neighbour output row is one source row with its columns
// picked by a precomputed map. An upright photo is encoded as its rows arrive; a
// photo that must be turned upright has its scaled copies held (they are small)
// and encoded at the end. Either way the files are byte for byte those of
// decoding whole, turning upright, scaling and encoding.
#include "album/scaled_copy.h"

#include <QImage>
#include <atomic>
#include <span>

namespace kelvora {

class JpegRowReader;

// Converts the picture the reader has read the header of into every output (each
// of PictureType "Jpeg": a grey photo's PNG would keep its palette), and
// returns a small upright copy for showing (at most previewSide pixels a side).
// stop is looked at between groups of rows: when it is set, EAbort.
QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop);

} // namespace kelvora

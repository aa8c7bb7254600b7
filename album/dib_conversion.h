#pragma once
// The album's conversion of a picture a plug-in decoded, straight from the
// device-independent bitmap it returned: the header and the bits block, which
// the decoding helper hands over as a memory file the program maps without a
// copy. No second copy of the picture is made: each row a scaled copy samples is
// decoded into one row of the picture's format (as the bitmap reader would have
// put it into a whole picture) and goes to every output that samples it, each
// encoded as its rows come (scaled_copy.h). The files are byte for byte those of
// loading the picture through the picture loader (TSPIBitmap), scaling and
// encoding it whole.
//
// Memory: the bitmap (which the caller frees as soon as this returns), a row, the
// encoders' few rows and the small preview, and what Smooth outputs' filters
// hold (smooth_copy.h); a Smooth output needs every row decoded. A 32-bit bitmap with an alpha
// channel is read twice, since a picture whose alpha is zero everywhere counts as opaque.
#include "album/scaled_copy.h"

#include <QImage>
#include <atomic>
#include <span>

namespace kelvora {

class TSPIGraphic;

// Converts the decoded (not empty) graphic into every output and returns a small
// copy for showing (at most previewSide pixels a side, none for 0). stop is
// looked at between groups of rows: when it is set, EAbort. The bitmap reader's
// errors for headers it refuses ("ビットマップ画像が不正です").
QImage ConvertDibRows(TSPIGraphic& graphic, std::span<const TScaledOutput> outputs, int previewSide,
                      const std::atomic<bool>* stop);

} // namespace kelvora

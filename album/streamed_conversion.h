#pragma once
// The album's conversion of a JPEG file without holding the decoded picture. Rows
// are decoded a few at a time and each goes straight to the scaled copies that
// sample it: a nearest-neighbour output row is one source row with its columns
// picked by a precomputed map. An upright photo is encoded as its rows arrive; a
// photo that must be turned upright has its scaled copies held (they are small)
// and encoded at the end. Either way the nearest-neighbour files are byte for
// byte those of decoding whole, turning upright, scaling and encoding.
#include "album/scaled_copy.h"

#include <QImage>
#include <atomic>
#include <span>

namespace kelvora {

class JpegRowReader;
struct JpegHeader;

// Converts the picture the reader has read the header of into every output (each
// of PictureType "Jpeg": a grey photo's PNG would keep its palette), and
// returns a small upright copy for showing (at most previewSide pixels a side).
// stop is looked at between groups of rows: when it is set, EAbort.
//
// The file is decoded once. Nearest-neighbour outputs pick from full-size rows;
// when every output is Smooth, the rows are those of the smallest reduction
// libjpeg makes while decoding that still covers every output (JpegDecodeScale),
// and each output is filtered from them. So a Smooth output's pixels depend on
// the picture's other output too: on its size and on whether it is Smooth.
// (Decoding once for each output's own scale would keep them apart, at the cost
// of decoding the file twice: about 1.6 times the time of nearest neighbour.)
QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop);

// The decoding scale, in eighths, the outputs take their rows from.
int JpegDecodeScale(const JpegHeader& header, std::span<const TScaledOutput> outputs);

} // namespace kelvora

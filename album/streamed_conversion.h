#pragma once
// The album's conversion of a JPEG file without holding the decoded picture. Rows
// are decoded a few at a time and each goes straight to the scaled copies that
// sample it: a nearest-neighbour output row is one source row with its columns
// picked by a precomputed map. An upright photo is encoded as its rows arrive; a
// photo that must be turned upright has its scaled copies held (they are small)
// and encoded at the end. Either way the files are byte for byte those of
// decoding whole, turning upright, scaling and encoding.
#include "album/picture_settings.h"

#include <QImage>
#include <atomic>
#include <span>

namespace kelvora {

class JpegRowReader;
class TStagedFile;

struct TScaledOutput {
    const TPictureSettings* settings; // PictureType "Jpeg"
    TStagedFile* file;                // receives the encoded picture
};

// Converts the picture the reader has read the header of into every output, and
// returns a small upright copy for showing (at most previewSide pixels a side).
// stop is looked at between groups of rows: when it is set, EAbort.
QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop);

// The size of the copy shown while a run goes on: the picture fitted into
// side x side, at least one pixel a side.
QSize PreviewSize(QSize picture, int side);

} // namespace kelvora

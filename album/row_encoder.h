#pragma once
// One output picture of the run encoded as its rows are made, top to bottom,
// straight into its staged file, so that the scaled picture is never held.
//
// Rows come in the scaled picture's own format, one of those ScaleNearest keeps
// (Format_Indexed8 with its colour table, Format_BGR888, Format_RGB32,
// Format_ARGB32), and are converted on the way exactly as encoding the whole
// scaled picture converts them: for JPEG, 32-bit pixels lose their fourth byte
// and palette pixels become blue, green, red through Qt; PNG keeps a palette and
// turns the rest into blue, green, red through Qt. The file is byte for byte the
// one EncodeScaledPicture gives for the same picture.
#include "album/picture_settings.h"

#include <QImage>
#include <memory>

namespace kelvora {

class JpegRowEncoder;
class PngRowEncoder;
class TStagedFile;

class TRowEncoder {
public:
    // A picture of the size in the format; PictureType "Jpeg" or "Png"
    // (CheckPictureType's error otherwise).
    TRowEncoder(const TPictureSettings& settings, QSize size, QImage::Format format,
                const QList<QRgb>& colorTable, TStagedFile& file);
    ~TRowEncoder();
    TRowEncoder(const TRowEncoder&) = delete;
    TRowEncoder& operator=(const TRowEncoder&) = delete;

    // Where the next row goes (the width's pixels in the format); rowDone() once
    // it is filled. The file's write errors come out of rowDone() and finish().
    uchar* nextRow();
    void rowDone();
    // After the last row.
    void finish();

private:
    std::unique_ptr<JpegRowEncoder> jpeg_;
    std::unique_ptr<PngRowEncoder> png_;
    QImage row_; // the row in the picture's format, unless the encoder takes it as it is
};

} // namespace kelvora

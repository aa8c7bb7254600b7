#include "album/row_encoder.h"

#include "album/picture_converter.h"
#include "album/png_writer.h"
#include "album/staged_file.h"
#include "base/base_texts.h"
#include "base/errors.h"
#include "jpeg/jpeg_encode.h"

#include <cstring>

namespace kelvora {

TRowEncoder::TRowEncoder(const TPictureSettings& settings, QSize size, QImage::Format format,
                         const QList<QRgb>& colorTable, TStagedFile& file) {
    CheckPictureType(settings);
    const auto sink = [&file](const char* bytes, std::size_t length) {
        file.write({bytes, length});
    };
    if (settings.PictureType == "Png") {
        png_ =
            std::make_unique<PngRowEncoder>(size.width(), size.height(), format, colorTable, sink);
    } else {
        JpegEncodeSettings s;
        s.quality = static_cast<std::uint8_t>(settings.Quality & 0xFF);
        s.fullChroma = FullChromaOutput(settings, size);
        jpeg_ = std::make_unique<JpegRowEncoder>(size.width(), size.height(), s, sink);
        if (format == QImage::Format_BGR888)
            return; // rows go into the encoder's own buffer
    }
    row_ = QImage(size.width(), 1, format);
    if (row_.isNull())
        throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory).arg(size.width()).arg(1));
    row_.setColorTable(colorTable);
}

TRowEncoder::~TRowEncoder() = default;

uchar* TRowEncoder::nextRow() {
    return row_.isNull() ? jpeg_->nextRow() : row_.scanLine(0);
}

void TRowEncoder::rowDone() {
    if (png_) {
        png_->writeRows(row_, 0, 1);
        return;
    }
    if (!row_.isNull()) {
        uchar* out = jpeg_->nextRow();
        const int width = row_.width();
        if (row_.format() == QImage::Format_RGB32 || row_.format() == QImage::Format_ARGB32) {
            // libjpeg reads these in place, skipping the alpha byte.
            const auto* in = reinterpret_cast<const QRgb*>(row_.constScanLine(0));
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = static_cast<uchar>(qBlue(in[x]));
                out[1] = static_cast<uchar>(qGreen(in[x]));
                out[2] = static_cast<uchar>(qRed(in[x]));
            }
        } else {
            const QImage bgr = row_.convertToFormat(QImage::Format_BGR888);
            std::memcpy(out, bgr.constScanLine(0), static_cast<std::size_t>(width) * 3);
        }
    }
    jpeg_->rowDone();
}

void TRowEncoder::finish() {
    if (png_)
        png_->finish();
    else
        jpeg_->finish();
}

} // namespace kelvora

#include "album/smooth_copy.h"

#include "album/row_encoder.h"
#include "album/smooth_scale.h"
#include "base/base_texts.h"
#include "base/errors.h"
#include "base/orientation.h"

#include <cstring>

namespace kelvora {
namespace {

QImage::Format copyFormat(int rowBytes) {
    return rowBytes == 4 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
}

// The copy's size as the rows are stored: turned back when they lie sideways.
QSize storedTarget(QSize target, int orientation) {
    return SwapsSides(orientation) ? target.transposed() : target;
}

} // namespace

SmoothCopy::SmoothCopy(QSize target, QSize rows, int orientation, int rowBytes,
                       const TPictureSettings& settings, TStagedFile& file)
    : settings_(settings), file_(file), orientation_(ValidOrientation(orientation)),
      rowBytes_(rowBytes) {
    const QSize scaled = storedTarget(target, orientation_);
    width_ = scaled.width();
    const QImage::Format format = copyFormat(rowBytes);
    if (orientation_ == 1) {
        encoder_ = std::make_unique<TRowEncoder>(settings, target, format, QList<QRgb>{}, file);
    } else {
        held_ = QImage(scaled, format);
        if (held_.isNull())
            throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory)
                                      .arg(scaled.width())
                                      .arg(scaled.height()));
    }
    scaler_ =
        std::make_unique<SmoothScaler>(rows, scaled, rowBytes, [this](int y, const uchar* row) {
            if (encoder_) {
                convert(encoder_->nextRow(), row);
                encoder_->rowDone();
            } else {
                convert(held_.scanLine(y), row);
            }
        });
}

SmoothCopy::~SmoothCopy() = default;

void SmoothCopy::convert(uchar* out, const uchar* row) const {
    switch (rowBytes_) {
    case 1:
        for (int x = 0; x < width_; ++x, out += 3)
            out[0] = out[1] = out[2] = row[x];
        break;
    case 3:
        std::memcpy(out, row, static_cast<std::size_t>(width_) * 3);
        break;
    default: {
        // Premultiplied rows become the ARGB32 the encoders take.
        auto* pixels = reinterpret_cast<QRgb*>(out);
        for (int x = 0; x < width_; ++x) {
            QRgb p;
            std::memcpy(&p, row + static_cast<std::size_t>(x) * 4, 4);
            pixels[x] = qUnpremultiply(p);
        }
        break;
    }
    }
}

void SmoothCopy::take(const uchar* row) {
    scaler_->push(row);
}

void SmoothCopy::finish() {
    if (encoder_) {
        encoder_->finish();
        return;
    }
    const QImage upright = Upright(held_, orientation_);
    held_ = QImage();
    TRowEncoder encoder(settings_, upright.size(), upright.format(), {}, file_);
    const auto bytes = static_cast<std::size_t>(upright.width()) * (rowBytes_ == 4 ? 4 : 3);
    for (int y = 0; y < upright.height(); ++y) {
        std::memcpy(encoder.nextRow(), upright.constScanLine(y), bytes);
        encoder.rowDone();
    }
    encoder.finish();
}

std::size_t SmoothCopy::workingMemory(QSize target, QSize rows, int orientation, int rowBytes) {
    const QSize scaled = storedTarget(target, ValidOrientation(orientation));
    std::size_t bytes = SmoothScaler::workingMemory(rows, scaled, rowBytes);
    const std::size_t copy = static_cast<std::size_t>(target.width()) *
                             static_cast<std::size_t>(target.height()) * (rowBytes == 4 ? 4 : 3);
    if (ValidOrientation(orientation) != 1)
        bytes += 2 * copy; // held, then turned upright
    return bytes;
}

} // namespace kelvora

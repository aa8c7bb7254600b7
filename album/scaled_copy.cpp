#include "album/scaled_copy.h"

#include "album/nearest_scale.h"
#include "album/row_encoder.h"
#include "base/base_texts.h"
#include "base/errors.h"
#include "base/orientation.h"

#include <algorithm>
#include <cstring>

namespace kelvora {
namespace {

template <int In, int Out>
void pickRow(uchar* out, const uchar* row, const std::vector<int>& columns) {
    for (const int x : columns) {
        const uchar* p = row + static_cast<std::ptrdiff_t>(x) * In;
        if constexpr (In == Out)
            std::memcpy(out, p, In);
        else
            out[0] = out[1] = out[2] = p[0]; // grey as blue, green and red
        out += Out;
    }
}

} // namespace

QSize PreviewSize(QSize picture, int side) {
    if (picture.isEmpty())
        return {};
    const QSize fitted = picture.scaled(side, side, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1)).boundedTo(picture);
}

ScaledCopy::ScaledCopy(QSize target, QSize stored, int orientation, int storedBytes, int copyBytes)
    : target_(target), storedBytes_(storedBytes), copyBytes_(copyBytes) {
    const QSize upright = UprightSize(stored, orientation);
    const std::vector<int> us = NearestSampleMap(upright.width(), target.width());
    const std::vector<int> vs = NearestSampleMap(upright.height(), target.height());
    columns_ = SwapsSides(orientation);
    // Along a row, u varies; along a column, v does. The stored row depends on
    // the other coordinate only.
    const std::vector<int>& lineCoords = columns_ ? us : vs;
    const std::vector<int>& alongCoords = columns_ ? vs : us;
    lines_.reserve(lineCoords.size());
    for (std::size_t i = 0; i < lineCoords.size(); ++i) {
        const int c = lineCoords[i];
        const QPoint p = columns_ ? StoredPoint(orientation, stored, c, 0)
                                  : StoredPoint(orientation, stored, 0, c);
        lines_.push_back({p.y(), static_cast<int>(i)});
    }
    along_.reserve(alongCoords.size());
    for (const int c : alongCoords) {
        const QPoint p = columns_ ? StoredPoint(orientation, stored, 0, c)
                                  : StoredPoint(orientation, stored, c, 0);
        along_.push_back(p.x());
    }
    // Lines that share a stored row stay in output order: an upright picture's
    // rows reach an encoder top to bottom.
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const Line& a, const Line& b) { return a.storedRow < b.storedRow; });
}

ScaledCopy::~ScaledCopy() = default;

void ScaledCopy::fillRow(uchar* out, const uchar* row) const {
    switch (storedBytes_ * 10 + copyBytes_) {
    case 11:
        pickRow<1, 1>(out, row, along_);
        break;
    case 13:
        pickRow<1, 3>(out, row, along_);
        break;
    case 33:
        pickRow<3, 3>(out, row, along_);
        break;
    default:
        pickRow<4, 4>(out, row, along_);
        break;
    }
}

void ScaledCopy::pick(uchar* out, const uchar* row, int x) const {
    const uchar* p = row + static_cast<std::ptrdiff_t>(x) * storedBytes_;
    if (storedBytes_ == copyBytes_)
        std::memcpy(out, p, static_cast<std::size_t>(copyBytes_));
    else
        out[0] = out[1] = out[2] = p[0];
}

HeldCopy::HeldCopy(QSize target, QSize stored, int orientation, int storedBytes,
                   QImage::Format format, const QList<QRgb>& colorTable)
    : ScaledCopy(target, stored, orientation, storedBytes, PixelBytes(format)),
      image_(target, format) {
    if (image_.isNull())
        throw EOutOfResources(
            BaseTexts::Text(BaseTexts::SPictureMemory).arg(target.width()).arg(target.height()));
    image_.setColorTable(colorTable);
}

void HeldCopy::fillLine(int line, const uchar* row) {
    if (!columns_) {
        fillRow(image_.scanLine(line), row);
        return;
    }
    for (int y = 0; y < target_.height(); ++y)
        pick(image_.scanLine(y) + static_cast<std::ptrdiff_t>(line) * copyBytes_, row,
             along_[static_cast<std::size_t>(y)]);
}

EncodedCopy::EncodedCopy(QSize target, QSize stored, int storedBytes,
                         const TPictureSettings& settings, TStagedFile& file, QImage::Format format,
                         const QList<QRgb>& colorTable)
    : ScaledCopy(target, stored, 1, storedBytes, PixelBytes(format)),
      encoder_(std::make_unique<TRowEncoder>(settings, target, format, colorTable, file)) {}

EncodedCopy::~EncodedCopy() = default;

void EncodedCopy::finish() {
    encoder_->finish();
}

void EncodedCopy::fillLine(int, const uchar* row) {
    fillRow(encoder_->nextRow(), row);
    encoder_->rowDone();
}

int PixelBytes(QImage::Format format) {
    switch (format) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
        return 1;
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
        return 3;
    default:
        return 4;
    }
}

} // namespace kelvora

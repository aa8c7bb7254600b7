#include "album/nearest_scale.h"

#include "base/base_texts.h"
#include "base/bitmap.h"
#include "base/errors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kelvora {
namespace {

template <int N> void scaleRow(const uchar* src, uchar* dst, const std::vector<int>& columns) {
    for (int sx : columns) {
        std::memcpy(dst, src + static_cast<std::ptrdiff_t>(sx) * N, N);
        dst += N;
    }
}

QImage normalised(const QImage& source) {
    switch (source.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return source;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return source.convertToFormat(QImage::Format_Indexed8);
    default:
        return source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32
                                                               : QImage::Format_BGR888);
    }
}

} // namespace

std::vector<int> NearestSampleMap(int sourceSize, int targetSize) {
    std::vector<int> map(static_cast<std::size_t>(std::max(targetSize, 0)));
    for (int i = 0; i < targetSize; ++i)
        map[static_cast<std::size_t>(i)] =
            static_cast<int>((2LL * i + 1) * sourceSize / (2LL * targetSize));
    return map;
}

QImage ScaleNearest(const QImage& original, int width, int height) {
    if (width <= 0 || height <= 0 || original.isNull())
        return {};
    checkPictureSize(width, height);
    const QImage source = normalised(original);
    QImage target(width, height, source.format());
    if (target.isNull())
        throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory).arg(width).arg(height));
    target.setColorTable(source.colorTable());
    target.setDotsPerMeterX(source.dotsPerMeterX());
    target.setDotsPerMeterY(source.dotsPerMeterY());

    const std::vector<int> columns = NearestSampleMap(source.width(), width);
    const std::vector<int> rows = NearestSampleMap(source.height(), height);
    const int depth = source.depth() / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(depth);
    for (int y = 0; y < height; ++y) {
        uchar* dst = target.scanLine(y);
        // A repeated source row (enlargement) is copied from the row just made.
        if (y > 0 && rows[static_cast<std::size_t>(y)] == rows[static_cast<std::size_t>(y - 1)]) {
            std::memcpy(dst, target.constScanLine(y - 1), rowBytes);
            continue;
        }
        const uchar* src = source.constScanLine(rows[static_cast<std::size_t>(y)]);
        switch (depth) {
        case 1:
            scaleRow<1>(src, dst, columns);
            break;
        case 3:
            scaleRow<3>(src, dst, columns);
            break;
        default:
            scaleRow<4>(src, dst, columns);
            break;
        }
    }
    return target;
}

} // namespace kelvora

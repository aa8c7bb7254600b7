#include "base/orientation.h"

#include "base/base_texts.h"
#include "base/errors.h"

#include <cstring>

namespace kelvora {

QSize UprightSize(QSize stored, int orientation) {
    return SwapsSides(orientation) ? stored.transposed() : stored;
}

QPoint StoredPoint(int orientation, QSize stored, int u, int v) {
    const int w = stored.width();
    const int h = stored.height();
    switch (ValidOrientation(orientation)) {
    case 2:
        return {w - 1 - u, v};
    case 3:
        return {w - 1 - u, h - 1 - v};
    case 4:
        return {u, h - 1 - v};
    case 5:
        return {v, u};
    case 6:
        return {v, h - 1 - u};
    case 7:
        return {w - 1 - v, h - 1 - u};
    case 8:
        return {w - 1 - v, u};
    default:
        return {u, v};
    }
}

QImage Upright(const QImage& stored, int orientation) {
    orientation = ValidOrientation(orientation);
    if (orientation == 1 || stored.isNull())
        return stored;
    const int bytes = stored.depth() / 8;
    if (bytes < 1 || stored.depth() % 8 != 0)
        return Upright(stored.convertToFormat(QImage::Format_ARGB32), orientation);
    const QSize size = UprightSize(stored.size(), orientation);
    QImage upright(size, stored.format());
    if (upright.isNull())
        throw EOutOfResources(
            BaseTexts::Text(BaseTexts::SPictureMemory).arg(size.width()).arg(size.height()));
    upright.setColorTable(stored.colorTable());
    upright.setDotsPerMeterX(SwapsSides(orientation) ? stored.dotsPerMeterY()
                                                     : stored.dotsPerMeterX());
    upright.setDotsPerMeterY(SwapsSides(orientation) ? stored.dotsPerMeterX()
                                                     : stored.dotsPerMeterY());
    const auto n = static_cast<std::size_t>(bytes);
    for (int v = 0; v < size.height(); ++v) {
        uchar* out = upright.scanLine(v);
        for (int u = 0; u < size.width(); ++u, out += n) {
            const QPoint p = StoredPoint(orientation, stored.size(), u, v);
            std::memcpy(out, stored.constScanLine(p.y()) + static_cast<std::size_t>(p.x()) * n, n);
        }
    }
    return upright;
}

} // namespace kelvora

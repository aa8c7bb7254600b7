#include "shell/ui/item_icons.h"

#include "shell/items/image_list.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace kelvora {

TShItemIcons& TShItemIcons::instance() {
    static TShItemIcons icons;
    return icons;
}

QPixmap TShItemIcons::compose(int imageIndex, int overlayIndex, bool dimmed, int size) {
    const bool listSize = size == TShImageList::kSmallSize || size == TShImageList::kLargeSize;
    const QPixmap base = listSize ? TShImageList::instance().pixmap(imageIndex, size > 16)
                                  : TShImageList::instance().icon(imageIndex).pixmap(size, size);
    const QIcon overlay = TShImageList::instance().overlay(overlayIndex);
    if (!dimmed && overlay.isNull())
        return base;
    const qreal ratio = base.isNull() ? 1.0 : base.devicePixelRatio();
    QPixmap out(QSize(size, size) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    if (dimmed)
        painter.setOpacity(0.5);
    painter.drawPixmap(QRect(0, 0, size, size), base);
    painter.setOpacity(1.0);
    if (!overlay.isNull()) {
        const int half = size / 2;
        painter.drawPixmap(QRect(0, size - half, half, half), overlay.pixmap(half, half));
    }
    return out;
}

quint64 TShItemIcons::keyOf(int imageIndex, int selectedIndex, int overlayIndex, bool dimmed) {
    // Fields: image (32 bits), selected image + 1 (24), overlay + 1 (7), dimmed (1).
    return (quint64(quint32(imageIndex)) << 32) |
           (quint64(quint32(selectedIndex + 1) & 0xFFFFFF) << 8) |
           (quint64(quint32(overlayIndex + 1) & 0x7F) << 1) | quint64(dimmed);
}

QIcon TShItemIcons::cellIcon(int imageIndex, int overlayIndex, bool dimmed, int size) {
    const QPair<quint64, int> key(keyOf(imageIndex, -1, overlayIndex, dimmed), size);
    if (auto it = cellIcons_.constFind(key); it != cellIcons_.constEnd())
        return *it;
    QIcon icon(compose(imageIndex, overlayIndex, dimmed, size));
    cellIcons_.insert(key, icon);
    return icon;
}

QIcon TShItemIcons::thumbnailIcon(const QImage& thumbnail, int overlayIndex, bool dimmed,
                                  qreal ratio) {
    const QIcon overlay = TShImageList::instance().overlay(overlayIndex);
    // Moved in, the pixmap shares the worker's pixels (already in the screen's format).
    QPixmap picture = QPixmap::fromImage(QImage(thumbnail));
    picture.setDevicePixelRatio(ratio);
    if (!dimmed && overlay.isNull())
        return QIcon(picture);
    QPixmap out(picture.size());
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    if (dimmed)
        painter.setOpacity(0.5);
    painter.drawPixmap(0, 0, picture);
    painter.setOpacity(1.0);
    if (!overlay.isNull()) {
        const QSizeF logical = picture.deviceIndependentSize();
        const int side =
            std::max(16, static_cast<int>(std::min(logical.width(), logical.height()) / 3));
        painter.drawPixmap(QRect(0, static_cast<int>(logical.height()) - side, side, side),
                           overlay.pixmap(side, side));
    }
    painter.end();
    return QIcon(out);
}

QIcon TShItemIcons::icon(int imageIndex, int selectedIndex, int overlayIndex, bool dimmed) {
    if (selectedIndex == imageIndex)
        selectedIndex = -1;
    const quint64 key = keyOf(imageIndex, selectedIndex, overlayIndex, dimmed);
    if (auto it = icons_.constFind(key); it != icons_.constEnd())
        return *it;
    QIcon icon;
    for (const int size : {TShImageList::kSmallSize, TShImageList::kLargeSize}) {
        icon.addPixmap(compose(imageIndex, overlayIndex, dimmed, size));
        if (selectedIndex >= 0)
            icon.addPixmap(compose(selectedIndex, overlayIndex, dimmed, size), QIcon::Selected);
    }
    icons_.insert(key, icon);
    return icon;
}

} // namespace kelvora

#include "shell/ui/item_icons.h"

#include "shell/items/image_list.h"

#include <QPainter>
#include <QPixmap>

namespace kelvora {

TShItemIcons& TShItemIcons::instance() {
    static TShItemIcons icons;
    return icons;
}

QPixmap TShItemIcons::compose(int imageIndex, int overlayIndex, bool dimmed, int size) {
    const QPixmap base = TShImageList::instance().pixmap(imageIndex, size > 16);
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

QIcon TShItemIcons::icon(int imageIndex, int selectedIndex, int overlayIndex, bool dimmed) {
    if (selectedIndex == imageIndex)
        selectedIndex = -1;
    // Fields: image (32 bits), selected image + 1 (24), overlay + 1 (7), dimmed (1).
    const quint64 key = (quint64(quint32(imageIndex)) << 32) |
                        (quint64(quint32(selectedIndex + 1) & 0xFFFFFF) << 8) |
                        (quint64(quint32(overlayIndex + 1) & 0x7F) << 1) | quint64(dimmed);
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

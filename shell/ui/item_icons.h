#pragma once
// The icons the tree and the list draw for items: an icon of the system image
// list, at 16 and 32 pixels, with the item's overlay (a link arrow) in its
// lower left corner and faded for hidden items; optionally another image for
// the selected state (an open folder). The large-icon style's thumbnail cells
// draw type icons at the cell's size, and thumbnails with the same overlay
// and fading.
//
// Composed icons are kept per combination, so a screen of rows costs a hash
// lookup each; the combinations are few (icons x overlays x states). Cleared
// when the theme changes. GUI thread only.
#include <QHash>
#include <QIcon>

namespace kelvora {

class TShItemIcons {
public:
    static TShItemIcons& instance();

    // selectedIndex < 0: the same image when selected; overlayIndex < 0: none.
    QIcon icon(int imageIndex, int selectedIndex, int overlayIndex, bool dimmed);
    // The type icon at size x size logical pixels (a thumbnail cell's).
    QIcon cellIcon(int imageIndex, int overlayIndex, bool dimmed, int size);
    // A thumbnail (ratio: device pixels per logical pixel) with the overlay in its
    // lower left corner, faded when dimmed. Not kept: the caller keeps it.
    static QIcon thumbnailIcon(const QImage& thumbnail, int overlayIndex, bool dimmed, qreal ratio);
    int cachedCount() const { return static_cast<int>(icons_.size() + cellIcons_.size()); }
    void clear() {
        icons_.clear();
        cellIcons_.clear();
    }

private:
    TShItemIcons() = default;
    static QPixmap compose(int imageIndex, int overlayIndex, bool dimmed, int size);
    static quint64 keyOf(int imageIndex, int selectedIndex, int overlayIndex, bool dimmed);

    QHash<quint64, QIcon> icons_;
    QHash<QPair<quint64, int>, QIcon> cellIcons_;
};

} // namespace kelvora

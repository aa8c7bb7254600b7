#include "shell/ui/list_styles.h"

#include <algorithm>

namespace kelvora {

void ShLayOutListViews(TViewStyle style, QListView& iconView, TShListItemDelegate& delegate,
                       QTreeView& detailsView, int thumbnailBox) {
    const QFontMetrics fm(iconView.font());
    const int line = std::max(fm.height(), 16) + 4;
    QSize cell;
    const bool thumbnails = style == vsIcon && thumbnailBox > 0;
    // The view mode resets movement, flow and wrapping: it goes first.
    iconView.setViewMode(style == vsIcon ? QListView::IconMode : QListView::ListMode);
    iconView.setMovement(QListView::Static);
    switch (style) {
    case vsIcon:
        iconView.setFlow(QListView::LeftToRight);
        if (thumbnails) {
            // Two lines of caption under the square, as wide as the square and a margin.
            iconView.setIconSize(QSize(thumbnailBox, thumbnailBox));
            cell = QSize(std::max(thumbnailBox + 24, fm.averageCharWidth() * 16),
                         thumbnailBox + 10 + 2 * fm.height());
        } else {
            iconView.setIconSize(QSize(32, 32));
            cell = QSize(std::max(100, fm.averageCharWidth() * 16), 40 + 2 * fm.height());
        }
        break;
    case vsSmallIcon:
        iconView.setFlow(QListView::LeftToRight);
        iconView.setIconSize(QSize(16, 16));
        cell = QSize(std::max(160, fm.averageCharWidth() * 26), line);
        break;
    case vsList:
    case vsReport:
        iconView.setFlow(QListView::TopToBottom);
        iconView.setIconSize(QSize(16, 16));
        cell = QSize(std::max(180, fm.averageCharWidth() * 30), line);
        break;
    }
    delegate.SetIconsOnTop(style == vsIcon);
    delegate.SetCellSize(cell - QSize(4, 2));
    // Every icon takes the whole square, so that the captions line up whatever
    // the picture's proportions.
    delegate.SetDecorationSize(thumbnails ? QSize(thumbnailBox, thumbnailBox) : QSize());
    iconView.setGridSize(cell);
    iconView.setWordWrap(style == vsIcon);
    iconView.setWrapping(true);
    iconView.setTextElideMode(Qt::ElideRight);
    detailsView.setIconSize(QSize(16, 16));
}

} // namespace kelvora

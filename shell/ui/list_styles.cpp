#include "shell/ui/list_styles.h"

#include <algorithm>

namespace kelvora {

void ShLayOutListViews(TViewStyle style, QListView& iconView, TShListItemDelegate& delegate,
                       QTreeView& detailsView) {
    const QFontMetrics fm(iconView.font());
    const int line = std::max(fm.height(), 16) + 4;
    QSize cell;
    // The view mode resets movement, flow and wrapping: it goes first.
    iconView.setViewMode(style == vsIcon ? QListView::IconMode : QListView::ListMode);
    iconView.setMovement(QListView::Static);
    switch (style) {
    case vsIcon:
        iconView.setFlow(QListView::LeftToRight);
        iconView.setIconSize(QSize(32, 32));
        cell = QSize(std::max(100, fm.averageCharWidth() * 16), 40 + 2 * fm.height());
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
    iconView.setGridSize(cell);
    iconView.setWordWrap(style == vsIcon);
    iconView.setWrapping(true);
    iconView.setTextElideMode(Qt::ElideRight);
    detailsView.setIconSize(QSize(16, 16));
}

} // namespace kelvora

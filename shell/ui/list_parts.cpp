#include "shell/ui/list_parts.h"

#include "shell/ui/list_model.h"

namespace kelvora {

QSize TShListItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    return cellSize_.isValid() ? cellSize_ : QStyledItemDelegate::sizeHint(option, index);
}

void TShListItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(TVelShListModel::DropHighlightRole).toBool())
        option->state |= QStyle::State_Selected;
    if (iconsOnTop_) {
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->decorationAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->features |= QStyleOptionViewItem::WrapText;
    }
    if (decorationSize_.isValid())
        option->decorationSize = decorationSize_;
}

} // namespace kelvora

#include "shell/ui/list_model.h"

#include "base/codepage.h"
#include "shell/ui/item_icons.h"

#include <QColor>

namespace kelvora {

namespace {

Qt::Alignment alignmentOf(int alignment) {
    switch (alignment) {
    case 1:
        return Qt::AlignRight | Qt::AlignVCenter;
    case 2:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

void TVelShListModel::SetList(TVelShFileList* list) {
    beginResetModel();
    list_ = list;
    endResetModel();
}

TVelShFileData* TVelShListModel::RowData(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? RowData(index.row()) : nullptr;
}

int TVelShListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !list_ ? 0 : list_->Count();
}

int TVelShListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !list_ ? 0 : static_cast<int>(list_->Captions().size());
}

QVariant TVelShListModel::data(const QModelIndex& index, int role) const {
    TVelShFileData* row = RowData(index);
    if (!row)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: {
        if (column == 0) {
            std::string name;
            row->GetDisplayName(name);
            return toQ(name);
        }
        const std::vector<std::string>& details = row->GetDetails();
        const auto i = static_cast<std::size_t>(column - 1);
        return i < details.size() ? toQ(details[i]) : QString();
    }
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        return TShItemIcons::instance().icon(row->GetImageIndex(), -1, row->OverlayIndex(),
                                             row->IsGhosted());
    case Qt::ForegroundRole:
        // Compressed items in blue, as the desktop shell draws them.
        return row->IsCompressed() ? QVariant(QColor(Qt::blue)) : QVariant();
    case Qt::TextAlignmentRole: {
        const auto& captions = list_->Captions();
        const auto i = static_cast<std::size_t>(column);
        return i < captions.size() && column > 0 ? QVariant(alignmentOf(captions[i].alignment))
                                                 : QVariant();
    }
    case ShDataRole:
        return QVariant::fromValue(static_cast<void*>(row));
    default:
        return {};
    }
}

QVariant TVelShListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !list_)
        return {};
    const auto& captions = list_->Captions();
    const auto i = static_cast<std::size_t>(section);
    if (section < 0 || i >= captions.size())
        return {};
    if (role == Qt::DisplayRole)
        return toQ(captions[i].text);
    if (role == Qt::TextAlignmentRole)
        return QVariant(alignmentOf(captions[i].alignment));
    return {};
}

Qt::ItemFlags TVelShListModel::flags(const QModelIndex& index) const {
    if (!RowData(index))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

Qt::DropActions TVelShListModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

} // namespace kelvora

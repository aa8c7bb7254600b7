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
    dropRow_ = -1;
    endResetModel();
}

void TVelShListModel::SetDropRow(int row) {
    if (row == dropRow_)
        return;
    const int old = dropRow_;
    dropRow_ = row;
    RowChanged(old);
    RowChanged(row);
}

void TVelShListModel::RowChanged(int row) {
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TVelShListModel::DecorationChanged(int row) {
    if (row >= 0 && row < rowCount()) {
        const QModelIndex at = index(row, 0);
        emit dataChanged(at, at, {Qt::DecorationRole});
    }
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
    case Qt::DisplayRole:
    case Qt::EditRole: {
        if (column == 0) {
            std::string name;
            row->GetDisplayName(name);
            // Bytes the code page cannot show are marked, so that two names never
            // look alike; a type named after such an extension likewise.
            return toDisplayQ(name);
        }
        const std::vector<std::string>& details = row->GetDetails();
        const auto i = static_cast<std::size_t>(column - 1);
        return i < details.size() ? toDisplayQ(details[i]) : QString();
    }
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        if (decorate_) {
            if (QVariant icon = decorate_(index.row(), row); icon.isValid())
                return icon;
        }
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
    case DropHighlightRole:
        return index.row() == dropRow_ ? QVariant(true) : QVariant();
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

bool TVelShListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TVelShFileData* row = RowData(index);
    return row && role == Qt::EditRole && index.column() == 0 && rename_ &&
           rename_(row, value.toString());
}

Qt::ItemFlags TVelShListModel::flags(const QModelIndex& index) const {
    if (!RowData(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (rename_ && index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

Qt::DropActions TVelShListModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

} // namespace kelvora

#include "app/collected_list.h"

#include "base/codepage.h"

#include <algorithm>

namespace kelvora {

TCollectedList::TCollectedList(QObject* parent) : QAbstractListModel(parent) {}

int TCollectedList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TCollectedList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const std::string& path = Entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return toDisplayQ(path);
    case PathRole:
        return QByteArray::fromStdString(path);
    default:
        return {};
    }
}

int TCollectedList::IndexOf(const std::string& path) const {
    const auto it = std::find(paths_.begin(), paths_.end(), path);
    return it == paths_.end() ? -1 : static_cast<int>(it - paths_.begin());
}

bool TCollectedList::Add(const std::string& path) {
    if (IndexOf(path) >= 0)
        return false;
    beginInsertRows(QModelIndex(), Count(), Count());
    paths_.push_back(path);
    endInsertRows();
    return true;
}

void TCollectedList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    beginRemoveRows(QModelIndex(), index, index);
    paths_.erase(paths_.begin() + index);
    endRemoveRows();
}

bool TFileSelection::Changed(const std::optional<std::string>& focusedPath) {
    if (!focusedPath)
        return false;
    selectedPath_ = *focusedPath;
    return list_.IndexOf(selectedPath_) < 0;
}

} // namespace kelvora

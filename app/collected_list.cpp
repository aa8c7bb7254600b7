#include "app/collected_list.h"

#include "base/codepage.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <unistd.h>

#include <algorithm>
#include <set>

namespace kelvora {

namespace {

constexpr char kRowsMime[] = "application/x-kelvora-collected-rows";
constexpr char kUriListMime[] = "text/uri-list";

} // namespace

TCollectedList::TCollectedList(QObject* parent) : QAbstractListModel(parent) {}

Qt::ItemFlags TCollectedList::flags(const QModelIndex& index) const {
    // Drops land between entries (or on the list), never on one.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return QAbstractListModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList TCollectedList::mimeTypes() const {
    return {QString::fromLatin1(kRowsMime), QString::fromLatin1(kUriListMime)};
}

QMimeData* TCollectedList::mimeData(const QModelIndexList& indexes) const {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    // Which list the rows are of: this process and this model.
    out << static_cast<qint64>(::getpid()) << reinterpret_cast<quintptr>(this);
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.model() == this)
            out << static_cast<qint32>(index.row());
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowsMime), bytes);
    return data;
}

std::optional<std::vector<int>> TCollectedList::DraggedRows(const QMimeData* data) const {
    if (!data || !data->hasFormat(QString::fromLatin1(kRowsMime)))
        return std::nullopt;
    QDataStream in(data->data(QString::fromLatin1(kRowsMime)));
    qint64 pid = 0;
    quintptr model = 0;
    in >> pid >> model;
    if (in.status() != QDataStream::Ok || pid != ::getpid() ||
        model != reinterpret_cast<quintptr>(this))
        return std::nullopt;
    std::vector<int> rows;
    for (qint32 row = 0; !in.atEnd();) {
        in >> row;
        if (in.status() != QDataStream::Ok)
            break;
        rows.push_back(row);
    }
    return rows;
}

Qt::DropActions TCollectedList::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions TCollectedList::supportedDragActions() const {
    return Qt::MoveAction;
}

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
    if (!Contains(path))
        return -1;
    const auto it = std::find(paths_.begin(), paths_.end(), path);
    return it == paths_.end() ? -1 : static_cast<int>(it - paths_.begin());
}

bool TCollectedList::Add(const std::string& path) {
    if (Contains(path))
        return false;
    beginInsertRows(QModelIndex(), Count(), Count());
    paths_.push_back(path);
    listed_.insert(path);
    endInsertRows();
    return true;
}

int TCollectedList::Insert(const std::vector<std::string>& paths, int row) {
    std::unordered_set<std::string> taken;
    std::vector<std::string> fresh;
    for (const std::string& path : paths)
        if (!Contains(path) && taken.insert(path).second)
            fresh.push_back(path);
    if (fresh.empty())
        return 0;
    if (row < 0 || row > Count())
        row = Count();
    const int n = static_cast<int>(fresh.size());
    beginInsertRows(QModelIndex(), row, row + n - 1);
    paths_.insert(paths_.begin() + row, fresh.begin(), fresh.end());
    listed_.insert(fresh.begin(), fresh.end());
    endInsertRows();
    return n;
}

void TCollectedList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    beginRemoveRows(QModelIndex(), index, index);
    listed_.erase(paths_[static_cast<std::size_t>(index)]);
    paths_.erase(paths_.begin() + index);
    endRemoveRows();
}

std::vector<int> TCollectedList::validRows(const std::vector<int>& rows) const {
    std::set<int> valid;
    for (int row : rows)
        if (row >= 0 && row < Count())
            valid.insert(row);
    return {valid.begin(), valid.end()};
}

void TCollectedList::DeleteRows(const std::vector<int>& rows) {
    const std::vector<int> valid = validRows(rows);
    // From the last, so that the rows still to go keep their numbers.
    for (auto it = valid.rbegin(); it != valid.rend(); ++it)
        Delete(*it);
}

int TCollectedList::MoveRows(const std::vector<int>& rows, int destination) {
    const std::vector<int> moved = validRows(rows);
    if (destination < 0 || destination > Count())
        destination = Count();
    std::vector<bool> isMoved(paths_.size(), false);
    for (int row : moved)
        isMoved[static_cast<std::size_t>(row)] = true;
    std::vector<int> order;
    order.reserve(paths_.size());
    int first = -1;
    for (int row = 0; row <= Count(); ++row) {
        if (row == destination) {
            first = static_cast<int>(order.size());
            order.insert(order.end(), moved.begin(), moved.end());
        }
        if (row < Count() && !isMoved[static_cast<std::size_t>(row)])
            order.push_back(row);
    }
    reorder(order);
    return first;
}

void TCollectedList::MoveStep(const std::vector<int>& rows, int step) {
    std::vector<int> order(paths_.size());
    std::vector<bool> selected(paths_.size(), false);
    for (int row = 0; row < Count(); ++row)
        order[static_cast<std::size_t>(row)] = row;
    for (int row : validRows(rows))
        selected[static_cast<std::size_t>(row)] = true;
    // Walking towards the moving end, each selected entry swaps with an unselected
    // neighbour; one that is blocked (by the end or a blocked entry) stays.
    const int n = Count();
    for (int k = 0; k < n; ++k) {
        const int row = step < 0 ? k : n - 1 - k;
        const int to = row + (step < 0 ? -1 : 1);
        if (!selected[static_cast<std::size_t>(row)] || to < 0 || to >= n ||
            selected[static_cast<std::size_t>(to)])
            continue;
        std::swap(order[static_cast<std::size_t>(row)], order[static_cast<std::size_t>(to)]);
        selected[static_cast<std::size_t>(row)] = false;
        selected[static_cast<std::size_t>(to)] = true;
    }
    reorder(order);
}

void TCollectedList::reorder(const std::vector<int>& order) {
    bool same = true;
    for (std::size_t i = 0; i < order.size(); ++i)
        same = same && order[i] == static_cast<int>(i);
    if (same)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    std::vector<std::string> paths;
    paths.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
        paths.push_back(std::move(paths_[static_cast<std::size_t>(order[i])]));
    }
    paths_ = std::move(paths);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(index.isValid()
                      ? this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column())
                      : index);
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool TFileSelection::Changed(const std::optional<std::string>& focusedPath) {
    if (!focusedPath)
        return false;
    selectedPath_ = *focusedPath;
    return !list_.Contains(selectedPath_);
}

} // namespace kelvora

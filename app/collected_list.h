#pragma once
// The main window's collected list: the full paths of the album's pictures, in the
// album's order (the order they were added, unless the user rearranged them), each at
// most once. Paths are kept as the file system's bytes
// and compared byte for byte, so two names that differ only in bytes the code page
// cannot decode stay two entries; the list box shows them with toDisplayQ, which
// writes such bytes as "\xHH".
//
// TFileSelection follows the file list's selection for the main window: the path of
// the focused row (SelectedPath) and whether "追加" may add it.
#include <QAbstractListModel>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace kelvora {

class TCollectedList : public QAbstractListModel {
    Q_OBJECT
public:
    // The entry's bytes, as a QByteArray, under this role.
    static constexpr int PathRole = Qt::UserRole;

    explicit TCollectedList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Dragging: entries are dragged only within the list (their rows, under a type of
    // this list's own, which no other program reads); files come in as text/uri-list.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    // The rows of entries dragged from this very list, or nothing for other data.
    std::optional<std::vector<int>> DraggedRows(const QMimeData* data) const;

    int Count() const { return static_cast<int>(paths_.size()); }
    const std::string& Entry(int index) const { return paths_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Entries() const { return paths_; }
    // The first entry byte-equal to path, or -1.
    int IndexOf(const std::string& path) const;
    // Whether an entry is byte-equal to path (without walking the list).
    bool Contains(const std::string& path) const { return listed_.count(path) != 0; }
    // Appends path unless it is listed already; false when it was.
    bool Add(const std::string& path);
    // Inserts the paths not listed yet (nor earlier in paths) before the entry at row,
    // in their order; a row outside the list appends. Returns how many were inserted.
    int Insert(const std::vector<std::string>& paths, int row);
    // Removes the entry at index; nothing happens for an index outside the list.
    void Delete(int index);
    // Removes the entries at these rows (rows outside the list are ignored).
    void DeleteRows(const std::vector<int>& rows);
    // Moves the entries at rows, in their order, together before the entry that is at
    // destination now (Count(): to the end). Returns the new row of the first moved.
    int MoveRows(const std::vector<int>& rows, int destination);
    // Moves each entry at rows one step up (step -1) or down (+1); entries that reach
    // an end stop there, and the others close up behind them.
    void MoveStep(const std::vector<int>& rows, int step);

private:
    // Puts the entries in the order order[newRow] = oldRow; selections and other
    // persistent indexes follow their entries.
    void reorder(const std::vector<int>& order);
    // Valid rows, each once, ascending.
    std::vector<int> validRows(const std::vector<int>& rows) const;

    std::vector<std::string> paths_;
    std::unordered_set<std::string> listed_; // the same paths, to look them up
};

class TFileSelection {
public:
    explicit TFileSelection(const TCollectedList& list) : list_(list) {}

    // Empty until a selection change finds a focused row; kept when one finds none.
    const std::string& SelectedPath() const { return selectedPath_; }
    // A selection change of the file list. focusedPath: the focused row's path ("" for
    // an item without one), nothing when the list has no rows or no focused row.
    // True when "追加" is to be enabled: a row is focused and its path is not listed.
    bool Changed(const std::optional<std::string>& focusedPath);

private:
    const TCollectedList& list_;
    std::string selectedPath_;
};

} // namespace kelvora

#pragma once
// The main window's collected list: the full paths of the album's pictures, in the
// order they were added, each at most once. Paths are kept as the file system's bytes
// and compared byte for byte, so two names that differ only in bytes the code page
// cannot decode stay two entries; the list box shows them with toDisplayQ, which
// writes such bytes as "\xHH".
//
// TFileSelection follows the file list's selection for the main window: the path of
// the focused row (SelectedPath) and whether "追加" may add it.
#include <QAbstractListModel>
#include <optional>
#include <string>
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

    int Count() const { return static_cast<int>(paths_.size()); }
    const std::string& Entry(int index) const { return paths_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Entries() const { return paths_; }
    // The first entry byte-equal to path, or -1.
    int IndexOf(const std::string& path) const;
    // Appends path unless it is listed already; false when it was.
    bool Add(const std::string& path);
    // Removes the entry at index; nothing happens for an index outside the list.
    void Delete(int index);

private:
    std::vector<std::string> paths_;
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

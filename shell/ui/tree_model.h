#pragma once
// TVelShTreeModel: the folder tree's nodes as a Qt item model, one column.
//
// The top level holds the root node. A branch is filled only when asked
// (Fill), which the tree does when the user first opens it; until then a
// node only offers to expand (hasChildren) when its item says it has
// subfolders. Nothing fills a branch on its own: canFetchMore is false, so
// neither a view nor a model checker walks into folders nobody opened.
//
// Fill also refreshes: it enumerates the folder again and merges the result
// into the existing children in the folder's order. Nodes of items that are
// still there stay, with their children, expansion and selection (the node
// takes the freshly read item, so its attributes are current); new items are
// inserted and vanished ones removed, each contiguous run with one pair of
// row signals.
//
// Reading and merging are apart, so that a folder on a slow drive can be read
// on a worker: MakeReadRequest copies what reading needs from the node, Read
// enumerates (and, prepared, learns everything a node shows but its icon
// bitmap, so that drawing the nodes touches no file system), and Merge does the
// merge above. A reading made before the nodes were rebuilt (Build, SetOptions)
// is refused by Merge.
//
// Labels are editable while a rename handler is set; an edit's new text goes to
// it, and Renamed puts the node of a renamed item in order again.
//
// Threads: Read runs on any thread and touches only its request and the folder
// object it binds; everything else belongs to the GUI thread.
#include "shell/items/shell_types.h"
#include "shell/ui/folder_data.h"

#include <QAbstractItemModel>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kelvora {

class TVelShTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // What a branch shows.
    struct TOptions {
        bool includeFiles = false; // non-folder items too
        bool includeHidden = true; // hidden items too
        TShVirtuaItems virtuaItems = TShVirtuaItems::defaults();
    };
    // Whether an enumerated item may become a node.
    using TAcceptItem = std::function<bool(TVelShFolderData* item)>;
    // Renames a node's item to an edit's text; false when it was not renamed.
    using TRenameNode = std::function<bool(TVelShTreeNode* node, const QString& text)>;

    explicit TVelShTreeModel(QObject* ownerControl = nullptr, QObject* parent = nullptr);
    ~TVelShTreeModel() override;

    // The control whose nodes these are (the items' GetOwnerControl).
    QObject* OwnerControl() const { return owner_; }
    const TOptions& Options() const { return options_; }
    void SetOptions(const TOptions& options) {
        options_ = options;
        ++generation_;
    }
    void SetAcceptItem(TAcceptItem accept) { accept_ = std::move(accept); }
    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool on);
    // Null: labels cannot be edited.
    void SetRenameNode(TRenameNode rename) { rename_ = std::move(rename); }

    // Replaces every node by one root node for item (none when item is null).
    void Build(std::unique_ptr<TVelShFolderData> rootItem);
    void Clear() { Build(nullptr); }
    TVelShTreeNode* RootNode() const { return root_.get(); }

    // Enumerates the node's folder and merges it into the children (see above).
    // False, with nothing changed, when the node's item cannot be had as a folder.
    bool Fill(TVelShTreeNode* node);

    // What reading a node's folder needs, copied from the node.
    struct TReadRequest {
        TIDListPtr folderID; // the node's absolute ID
        int parentLevel = 0;
        TShItemIDType parentType = itUnknown;
        TOptions options;
        std::uint64_t generation = 0; // the model's nodes it was asked for
    };
    // A node's children as its folder lists them: filtered by the node's level
    // and the options, in the folder's order. It owns the folder object that
    // read them, whose cache then serves the nodes.
    struct TReading {
        PShellFolder folder;
        std::vector<std::unique_ptr<TVelShFolderData>> items;
        bool read = false; // the node's item could be had as a folder
        std::uint64_t generation = 0;
    };
    TReadRequest MakeReadRequest(TVelShTreeNode* node) const;
    // Reads through folder, or through one bound anew from the request's ID when
    // folder is null (as a worker must: a node's folder objects are the GUI
    // thread's). prepared: the items also learn their names, types and the
    // attributes the nodes show (has sub-folders, link, compressed, hidden).
    static TReading Read(const TReadRequest& request, PShellFolder folder, bool prepared);
    // Merges a reading into the node's children; false, with nothing changed,
    // when it could not be read or is older than the nodes.
    bool Merge(TVelShTreeNode* node, TReading reading);
    // The child whose relative ID is the first item of id, or null.
    TVelShTreeNode* ChildOf(const TVelShTreeNode* node, PCItemIDList id) const;
    // Takes a node's marks from its item again.
    void Reattach(TVelShTreeNode* node);
    void SetText(TVelShTreeNode* node, QString text);
    // The node's item was renamed: its children go (their IDs name the old
    // path), it takes its new name and marks, and it moves to its place among
    // its siblings.
    void Renamed(TVelShTreeNode* node);
    void SetHasChildren(TVelShTreeNode* node, bool value);
    // True between the begin and end signals of a change: a slot connected to
    // the views' reactions must not change the model then.
    bool IsChanging() const { return changing_ > 0; }

    QModelIndex IndexOf(const TVelShTreeNode* node) const;
    TVelShTreeNode* NodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool accepts(TVelShFolderData* item) const;
    int insertRun(TVelShTreeNode* node, std::size_t pos,
                  std::vector<std::unique_ptr<TVelShFolderData>>& items, std::size_t from,
                  std::size_t to);
    void removeRun(TVelShTreeNode* node, std::size_t from, std::size_t to);
    std::unique_ptr<TVelShTreeNode> makeNode(TVelShTreeNode* parent,
                                             std::unique_ptr<TVelShFolderData> item);

    QObject* owner_;
    TOptions options_;
    TAcceptItem accept_;
    TRenameNode rename_;
    std::unique_ptr<TVelShTreeNode> root_;
    bool checkboxes_ = false;
    int changing_ = 0;
    std::uint64_t generation_ = 0; // counts the rebuilds of the nodes
};

} // namespace kelvora

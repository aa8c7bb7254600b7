#pragma once
// TVelShTreeView: the shell namespace as a folder tree, from a configurable
// root down, linked to a file list (TVelShListView) that shows the chosen
// folder and selects in the tree the folder it navigates to.
//
// Design
// - The nodes live in a TVelShTreeModel. A branch is enumerated when it is
//   first opened; RefreshNodes (and every change notification) merges a new
//   enumeration into each open branch, so nodes, expansion and selection
//   survive and only the differences reach the view.
// - Selection follows the platform tree this control grew up with: a left
//   press on an item's icon or label only highlights it and the release
//   selects it, so that a press can start a drag without selecting; a right
//   press never changes the selection. While an arrow key is held (with
//   ChangeDelay) the change reaches the linked list only 500 ms after the last
//   move; a click reaches it at once.
// - The drag source offers the item's drag data (shell ID-list array and
//   file URLs). Dropping onto the tree and renaming nodes are not offered yet:
//   acceptDrops and the edit triggers stay off.
//
// Threads: a TShNotifyThread watches the fixed and CD-ROM drives' roots with
// their subtrees and calls RefreshNodes on the GUI thread after 1500 ms of
// quiet; a TVelShChangeDelay holds back the arrow-key changes. Both are
// stopped in the destructor before anything else goes. A delayed change
// carries its own copy of the node's ID, never a node pointer: a node deleted
// meanwhile is simply not found, and a change that is no longer the tree's
// selection is dropped.
//
// Everything else runs on the GUI thread.
#include "base/shell_opener.h"
#include "shell/id_list_list.h"
#include "shell/root.h"
#include "shell/ui/tree_model.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TCustomVelShListView;
class TShNotifyThread;
class TShPendingNode;
class TVelShChangeDelay;

class TCustomVelShTreeView : public QTreeView {
    Q_OBJECT
public:
    // What an arrow-key change waits before it reaches the list.
    static constexpr int kChangeDelayMs = 500;
    // How far the mouse moves with a button down before a drag starts.
    static constexpr int kDragDistance = 5;

    explicit TCustomVelShTreeView(QWidget* parent = nullptr);
    ~TCustomVelShTreeView() override;

    // --- Published properties ---
    // The root of the tree; changing it rebuilds the tree.
    TVelShRoot& ShRoot() { return *shRoot_; }
    void SetShRoot(const TCustomVelShRoot& root) { shRoot_->Assign(root); }
    // Non-folder items too (default false).
    bool IncludeFiles() const { return model_->Options().includeFiles; }
    void SetIncludeFiles(bool value);
    // Hidden items too (default true); passed on to the linked list.
    bool IncludeHidden() const { return model_->Options().includeHidden; }
    void SetIncludeHidden(bool value);
    // Delay the change while an arrow key is held (default true).
    bool ChangeDelay() const { return changeDelay_; }
    void SetChangeDelay(bool value) { changeDelay_ = value; }
    // Which virtual items are shown (default the trash and the network);
    // passed on to the linked list.
    TShVirtuaItems ShVirtuaItems() const { return model_->Options().virtuaItems; }
    void SetShVirtuaItems(TShVirtuaItems items);
    // The linked file list; it is linked back to this tree.
    TCustomVelShListView* ShListView() const;
    void SetShListView(TCustomVelShListView* list);
    bool Checkboxes() const { return model_->Checkboxes(); }
    void SetCheckboxes(bool value) { model_->SetCheckboxes(value); }
    // What opens non-folder items (the desktop's associated application).
    void SetShellOpener(TShellOpener& opener) { opener_ = &opener; }

    // --- Events (Accept, CanOpen, DefaultAction, CanDrag are true on entry) ---
    // Before any child item becomes a node.
    std::function<void(TCustomVelShTreeView* sender, TVelShData* data, bool& accept)> OnShAddData;
    // Before a child of type itFile becomes a node (after OnShAddData).
    std::function<void(TCustomVelShTreeView* sender, TVelShData* data, bool& accept)> OnShFilter;
    // Before a non-folder node is opened with the shell.
    std::function<void(TCustomVelShTreeView* sender, TVelShTreeNode* node, bool& defaultAction)>
        OnShExecute;
    // Before a link node is resolved.
    std::function<void(TCustomVelShTreeView* sender, TVelShTreeNode* node, bool& canOpen)>
        OnShLinkOpen;
    // When a drag would start; pt is the press point, x and y the current one.
    std::function<void(TCustomVelShTreeView* sender, TVelShTreeNode* node, const QPoint& pt, int x,
                       int y, bool& canDrag)>
        OnShBeginDrag;

    // --- Operations ---
    // Selects the node of an item (the list calls it when it shows a folder).
    // Nothing happens for null, for the item already selected, or, when the root
    // is not the desktop, for an item outside the root. Branches are opened on
    // the way. When the item itself has no node (filtered out, or gone), the
    // deepest node on its way is selected and the list is left where it is.
    void SelectPath(PCItemIDList id);
    // The node of an item, creating branches on the way; the root node when the
    // item cannot be reached.
    TVelShTreeNode* FindNode(PCItemIDList id);
    // The absolute ID of the selected node, else of the root node, else null.
    // It belongs to the node's item, which a refresh may replace: copy it to keep it.
    PCItemIDList SelectedID() const;
    // Merges a new enumeration into every open branch; other visible nodes take
    // their marks (children, overlay) from their items again.
    void RefreshNodes();
    // Counted: the first suspend stops watching until the matching resume.
    // withLinked: the linked list is suspended and resumed too.
    void SuspendNotify(bool withLinked = false);
    void ResumeNotify(bool withLinked = false);
    // Builds the tree anew from the root, opening again the remembered branches.
    void Rebuild();
    // The drives changed (mounted, unmounted, a medium came or went): the tree
    // watches the drive roots there are now and shows the drives anew.
    void DrivesChanged();

    TVelShTreeModel* ShModel() const { return model_; }
    TVelShTreeNode* Root() const { return model_->RootNode(); }
    TVelShTreeNode* Selected() const;
    QModelIndex IndexOf(const TVelShTreeNode* node) const { return model_->IndexOf(node); }
    // The absolute IDs of the file-system branches the user opened.
    const TCustomVelShIDList& ExpandedList() const { return expanded_; }
    // The part of a row that takes clicks: the item's icon and label.
    QRect ItemHitRect(const QModelIndex& index) const;
    // The highlighted (pressed or dragged) node's index, invalid when none.
    QModelIndex Highlighted() const { return highlighted_; }
    // 0 idle, 1 left press on an item, 2 right press on an item, 3 dragging.
    int MouseState() const { return mouseState_; }
    // The drive roots the tree watches (fixed and CD-ROM drives).
    std::vector<std::string> WatchedFolders() const { return watched_; }

signals:
    // The selected node changed (at once, or after the arrow-key delay).
    void OnChange(TVelShTreeNode* node);

protected:
    // Whether an enumerated item becomes a node: OnShAddData, and for itFile
    // OnShFilter as well.
    virtual bool DoAddData(TVelShData* item);
    // The selection settled on item: the linked list shows it when it is a folder.
    virtual void SelectionChanged(TVelShData* item);
    virtual bool DoBeginDrag(TVelShTreeNode* node, const QPoint& pt, const QPoint& at);
    virtual bool DoExecute(TVelShTreeNode* node);
    virtual bool DoLinkOpen(TVelShTreeNode* node);
    // Opens a non-folder node: resolves a link, executes anything else.
    virtual void OpenNode(TVelShTreeNode* node);

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TCustomVelShListView;
    class THighlightDelegate;

    // Makes the two each other's partners; their former partners lose theirs.
    static void link(TCustomVelShTreeView* tree, TCustomVelShListView* list);
    std::unique_ptr<TVelShFolderData> makeRootItem() const;
    void rootChanged();
    void nodeExpanded(const QModelIndex& index);
    void nodeCollapsed(const QModelIndex& index);
    bool fillNode(TVelShTreeNode* node);
    TVelShTreeNode* findNode(PCItemIDList id, bool& reached);
    void refreshNode(TVelShTreeNode* node);
    void applyChange(TVelShTreeNode* node);
    void applyCurrent();
    void cancelPendingChange();
    void applyDelayedChange(TShPendingNode*& node);
    void foldersChanged();
    void runPendingRefresh();
    void setHighlight(const QModelIndex& index);
    // Whether pos is on the button that opens or closes index's branch.
    bool onBranchButton(const QModelIndex& index, const QPoint& pos) const;
    void beginDrag(const QPoint& at);
    void selectIndex(const QModelIndex& index, bool tellList);
    static std::vector<std::string> driveRoots();
    void watchDrives();
    void stopThreads();

    TVelShTreeModel* model_;
    std::unique_ptr<TVelShRoot> shRoot_;
    QPointer<TCustomVelShListView> listView_;
    TShellOpener* opener_;
    TCustomVelShIDList expanded_{true};
    std::vector<std::string> watched_;
    std::unique_ptr<TShNotifyThread> notify_;
    std::unique_ptr<TVelShChangeDelay> delay_;
    QPersistentModelIndex highlighted_;
    QPoint pressPos_;
    int mouseState_ = 0;
    int suspended_ = 0;
    bool changeDelay_ = true;
    bool arrowKey_ = false;
    bool branchPress_ = false;
    bool rebuilding_ = false;
    bool quietSelect_ = false;    // a selection that must not move the list
    bool refreshPending_ = false; // a change came in while a button was down
    bool destroying_ = false;
};

class TVelShTreeView final : public TCustomVelShTreeView {
public:
    using TCustomVelShTreeView::TCustomVelShTreeView;
};

} // namespace kelvora

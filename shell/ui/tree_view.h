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
//   file URLs). Items dragged over a node get the effect its drop target
//   gives (keys held, what the source allows); the node is highlighted, and
//   after 30 movements over it a closed branch opens. A drop copies, moves,
//   links or trashes on worker threads (view_drop.h); when an operation ends,
//   the tree and the linked list are read again.
// - Label editing (F2, or a second slow click on the selected node) renames the
//   item in its folder; the node keeps its place in the tree, selection and
//   open branches, and moves to its place among its siblings. A refused name is
//   shown with its reason and the label goes back. ReadOnly turns editing off.
// - Drives: a TShMountMonitor (the tree's own unless one is given) reports
//   drives that come, go or change their label; the tree then watches the
//   drive roots there are now and shows the drives anew.
// - A drive, or a folder on one, is read only when it answers within the time
//   limit (drive_ready.h): a hung network drive never holds the window up for
//   longer, and shows empty.
//
// Files: tree_view.cpp the control (construction, properties, the Do* hooks,
// the selection reaching the list); tree_nodes.* filling, finding and
// refreshing the nodes; tree_watcher.* change notification and drives;
// tree_view_input.cpp the mouse, keys, highlight and drag start;
// tree_view_drop.cpp drops; tree_view_edit.cpp label editing. The linked list is
// reached through a TVelShViewLink.
//
// Threads: a TShNotifyThread (tree_watcher.h) watches the ready fixed and
// CD-ROM drives' roots with their subtrees and calls RefreshNodes on the GUI
// thread after 1500 ms of quiet. A TVelShChangeDelay holds back the arrow-key
// changes. Both hand their news over as queued calls and neither is ever waited
// for; both are stopped in the destructor before anything else goes. A delayed
// change carries its own copy of the node's ID, never a node pointer: a node
// deleted meanwhile is simply not found, and a change that is no longer the
// tree's selection is dropped. Branches on slow drives are read on workers of
// the global thread pool (tree_reader.h), whose readings are found their node
// by ID on arrival, and never waited for.
//
// Everything else runs on the GUI thread.
#include "base/shell_opener.h"
#include "shell/items/drag_object.h"
#include "shell/items/id_list_list.h"
#include "shell/items/root.h"
#include "shell/ops/drop_target.h"
#include "shell/ops/mount_monitor.h"
#include "shell/ui/tree_model.h"
#include "shell/ui/tree_nodes.h"
#include "ui/dialogs.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TCustomVelShListView;
class TShDragScroller;
class TShNotifyThread;
class TShPendingNode;
class TShViewDrop;
class TVelShChangeDelay;
class TVelShTreeWatcher;
class TVelShViewLink;

// The mouse over the tree: idle, the left or right button pressed on an item,
// or shell items dragged over the tree.
enum class TShMouseState { Idle, LeftDown, RightDown, Dragging };

class TCustomVelShTreeView : public QTreeView, private TVelShTreeNodes::THost {
    Q_OBJECT
public:
    // What an arrow-key change waits before it reaches the list.
    static constexpr int kChangeDelayMs = 500;
    // How far the mouse moves with a button down before a drag starts.
    static constexpr int kDragDistance = 5;
    // Movements of a drag over one closed node before it opens.
    static constexpr int kHoverExpandMoves = 30;

    explicit TCustomVelShTreeView(QWidget* parent = nullptr);
    ~TCustomVelShTreeView() override;
    using QTreeView::edit;

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
    // Whether shell items may be dropped onto the tree (default true).
    bool AcceptsDrops() const { return acceptsDrops_; }
    void SetAcceptsDrops(bool value);
    // No label editing (default false).
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    // Where messages go (a refused name, a drop that cannot start); default the
    // program's dialogs.
    void SetDialogs(TDialogs& dialogs);
    // What is shown while dropped items are copied or moved; null (the default):
    // the program's dialogs over the tree's window. It must outlive the tree.
    void SetOperationUi(TShOperationUi* ui);
    // The monitor whose drive changes the tree follows; by default its own.
    // Null: none. A monitor given stays the caller's.
    TShMountMonitor* MountMonitor() const;
    void SetMountMonitor(TShMountMonitor* monitor);

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
    // A drag of shell items enters; pt in the tree's viewport.
    std::function<void(TCustomVelShTreeView* sender, TVelShDragObject& dragObject,
                       Qt::KeyboardModifiers shift, const QPoint& pt, bool& accept)>
        OnShDragEnter;
    // Each movement of the drag; node is the one under the pointer (or null).
    std::function<void(TCustomVelShTreeView* sender, TVelShDragObject& dragObject,
                       TVelShTreeNode* node, Qt::KeyboardModifiers shift, int x, int y)>
        OnShDragOver;
    // A drop; with defaultAction cleared the tree does nothing with it.
    std::function<void(TCustomVelShTreeView* sender, TVelShDragObject& dragObject,
                       TVelShTreeNode* node, Qt::KeyboardModifiers shift, int x, int y,
                       bool& defaultAction)>
        OnShDragDrop;
    std::function<void(TCustomVelShTreeView* sender)> OnShDragLeave;

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
    const TCustomVelShIDList& ExpandedList() const { return nodes_.Expanded(); }
    // The part of a row that takes clicks: the item's icon and label.
    QRect ItemHitRect(const QModelIndex& index) const;
    // The highlighted (pressed or dragged) node's index, invalid when none.
    QModelIndex Highlighted() const { return highlighted_; }
    TShMouseState MouseState() const { return mouseState_; }
    // The drive roots the tree watches (fixed and CD-ROM drives).
    std::vector<std::string> WatchedFolders() const;
    // The thread that watches them (null once it has ended).
    TShNotifyThread* NotifyThread() const;
    // The link to the list (null when none); TVelShViewLink::Join sets it.
    std::shared_ptr<TVelShViewLink> ViewLink() const { return link_; }
    void AttachLink(std::shared_ptr<TVelShViewLink> link);

signals:
    // The selected node changed (at once, or after the arrow-key delay).
    void OnChange(TVelShTreeNode* node);
    // An operation started by a drop onto the tree has ended.
    void OnShOperationFinished(const kelvora::TShOperationResult& result);

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
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Refuses editing while a button is down or a drag is over the tree, for the
    // root and for items that cannot be renamed.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    class THighlightDelegate;
    QStyledItemDelegate* newHighlightDelegate();

    // TVelShTreeNodes::THost
    bool IsOpen(TVelShTreeNode* node) const override;
    void Open(TVelShTreeNode* node) override;
    bool Dragging() const override { return mouseState_ == TShMouseState::Dragging; }
    void OpenBranchesChanged() override;

    TCustomVelShListView* linkedList() const;
    std::unique_ptr<TVelShFolderData> makeRootItem() const;
    void rootChanged();
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
    // The folders the user sees: the notification's priority folders.
    std::vector<std::string> seenFolders() const;
    // Dragging over the tree.
    void dragMoved(QDragMoveEvent* event);
    void endDrag();
    void hoverExpand(TVelShTreeNode* node);
    void operationFinished(const TShOperationResult& result);
    // A drive came, went or changed its label.
    void driveChanged(const QByteArray& id, const QString& text);
    // Label editing.
    bool renameNode(TVelShTreeNode* node, const QString& text);
    // An item of a folder the tree shows was renamed (by the list).
    void itemRenamed(const QByteArray& oldID, const QByteArray& newID);
    // After an operation: read again now, or when the button is released.
    void refreshAfterOperation();

    TVelShTreeModel* model_;
    TVelShTreeNodes nodes_;
    std::unique_ptr<TVelShRoot> shRoot_;
    std::shared_ptr<TVelShViewLink> link_;
    TShellOpener* opener_;
    std::unique_ptr<TVelShTreeWatcher> watcher_;
    std::unique_ptr<TVelShChangeDelay> delay_;
    TDialogs* dialogs_;
    std::unique_ptr<TShViewDrop> drop_;
    TShDragScroller* scroller_;
    QPersistentModelIndex highlighted_;
    QPersistentModelIndex hovered_;  // the node a drag is over
    QPersistentModelIndex slowEdit_; // the node a second click will edit
    QTimer slowEditTimer_;
    QPoint pressPos_;
    TShMouseState mouseState_ = TShMouseState::Idle;
    int hoverMoves_ = 0;
    bool changeDelay_ = true;
    bool arrowKey_ = false;
    bool branchPress_ = false;
    bool rebuilding_ = false;
    bool quietSelect_ = false;    // a selection that must not move the list
    bool refreshPending_ = false; // a change came in while a button was down
    bool pressOnSelected_ = false;
    bool acceptsDrops_ = true;
    bool readOnly_ = false;
    bool destroying_ = false;
};

class TVelShTreeView final : public TCustomVelShTreeView {
public:
    using TCustomVelShTreeView::TCustomVelShTreeView;
};

} // namespace kelvora

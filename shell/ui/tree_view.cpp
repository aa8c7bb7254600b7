#include "shell/ui/tree_view.h"

#include "shell/notify/change_delay.h"
#include "shell/items/drag_object.h"
#include "shell/items/drive_ready.h"
#include "shell/items/image_list.h"
#include "shell/ops/mount_monitor.h"
#include "shell/items/mounts.h"
#include "shell/notify/notify_filter.h"
#include "shell/notify/notify_thread.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/drag_scroll.h"
#include "shell/ui/drag_source.h"
#include "shell/ui/item_icons.h"
#include "shell/ui/list_view.h"
#include "shell/ui/view_drop.h"
#include "shell/items/xdg_dirs.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace kelvora {

namespace {

// A change held back by the arrow keys. It carries a copy of the node's ID:
// the node itself may be deleted before the delay runs out.
class TVelShPendingChange : public TShPendingNode {
public:
    explicit TVelShPendingChange(PItemIDList id) : id_(id) {}
    PCItemIDList ID() const { return id_.get(); }

private:
    TIDListPtr id_;
};

bool isArrowKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// Restores a flag when a scope ends, however it ends.
class FlagScope {
public:
    FlagScope(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool old_;
};

} // namespace

// Draws the pressed (highlighted) node as selected, and while there is one,
// the selected node as not.
class TCustomVelShTreeView::THighlightDelegate : public QStyledItemDelegate {
public:
    explicit THighlightDelegate(TCustomVelShTreeView* view)
        : QStyledItemDelegate(view), view_(view) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QModelIndex highlighted = view_->Highlighted();
        if (!highlighted.isValid())
            return;
        if (index == highlighted)
            option->state |= QStyle::State_Selected;
        else
            option->state &= ~QStyle::State_Selected;
    }

private:
    TCustomVelShTreeView* view_;
};

TCustomVelShTreeView::TCustomVelShTreeView(QWidget* parent)
    : QTreeView(parent), model_(new TVelShTreeModel(this, this)),
      shRoot_(std::make_unique<TVelShRoot>(this, [this] { rootChanged(); })),
      opener_(&DefaultShellOpener()), dialogs_(&DefaultDialogs()),
      drop_(std::make_unique<TShViewDrop>(this)), scroller_(new TShDragScroller(this)) {
    model_->SetAcceptItem([this](TVelShFolderData* item) { return DoAddData(item); });
    setModel(model_);
    setItemDelegate(new THighlightDelegate(this));
    setHeaderHidden(true);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setIndentation(19);
    setIconSize(QSize(TShImageList::kSmallSize, TShImageList::kSmallSize));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    SetAcceptsDrops(true);
    SetReadOnly(false);
    connect(drop_.get(), &TShViewDrop::operationFinished, this,
            &TCustomVelShTreeView::operationFinished);
    slowEditTimer_.setSingleShot(true);
    connect(&slowEditTimer_, &QTimer::timeout, this, [this] {
        if (slowEdit_.isValid() && slowEdit_ == currentIndex() && mouseState_ == 0)
            edit(slowEdit_);
    });
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAnimated(false);
    connect(this, &QTreeView::expanded, this, &TCustomVelShTreeView::nodeExpanded);
    connect(this, &QTreeView::collapsed, this, &TCustomVelShTreeView::nodeCollapsed);

    watchDrives();
    delay_ = std::make_unique<TVelShChangeDelay>(
        [this](TShThread*) { (void)delay_.release(); },
        [this](TVelShChangeDelay*, TShPendingNode*& node) { applyDelayedChange(node); });
    ownMonitor_ = std::make_unique<TShMountMonitor>();
    SetMountMonitor(ownMonitor_.get());
    Rebuild();
}

TCustomVelShTreeView::~TCustomVelShTreeView() {
    stopThreads();
    drop_.reset(); // cancels the drops' operations and waits for them
    if (listView_ && listView_->tree_ == this)
        listView_->tree_ = nullptr;
}

void TCustomVelShTreeView::stopThreads() {
    destroying_ = true;
    if (delay_) {
        delay_->setOnTerminate(nullptr);
        delay_->Stop();
        delay_.reset();
    }
    if (notify_) {
        notify_->setOnTerminate(nullptr);
        notify_->Stop();
        notify_.reset();
    }
}

std::vector<std::string> TCustomVelShTreeView::driveRoots() {
    std::vector<std::string> roots;
    for (const TDrive& drive : ShownDrives()) {
        // A drive that does not answer would hold the watching thread up, and the
        // window with it whenever the thread is waited for.
        if ((drive.kind == TDriveKind::Fixed || drive.kind == TDriveKind::CdRom) &&
            ShDriveReady(drive.mountPoint))
            roots.push_back(drive.mountPoint);
    }
    if (roots.size() >= static_cast<std::size_t>(TShNotifyThread::kMaxFolders))
        roots.resize(TShNotifyThread::kMaxFolders - 1);
    return roots;
}

void TCustomVelShTreeView::DrivesChanged() {
    watched_ = driveRoots();
    if (notify_ && suspended_ == 0) {
        notify_->SetFolders(watched_);
        notify_->WaitReady();
    }
    RefreshNodes();
}

void TCustomVelShTreeView::watchDrives() {
    watched_ = driveRoots();
    const std::uint8_t filter = kNotifyDirName | (IncludeFiles() ? kNotifyFileName : 0);
    notify_ = std::make_unique<TShNotifyThread>(
        filter, true,
        [this](TShNotifyThread*, const std::string&, const std::vector<std::string>&) {
            foldersChanged();
        });
    notify_->SetWatchSubtree(true);
    notify_->SetFolders(watched_);
    notify_->setOnTerminate([this](TShThread*) { (void)notify_.release(); });
    notify_->resume();
    notify_->WaitReady();
}

// --- properties ---------------------------------------------------------------------

void TCustomVelShTreeView::SetIncludeFiles(bool value) {
    if (value == IncludeFiles())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.includeFiles = value;
    model_->SetOptions(options);
    if (notify_) {
        notify_->SetFilter(kNotifyDirName | (value ? kNotifyFileName : 0));
        notify_->WaitReady();
    }
    RefreshNodes();
}

void TCustomVelShTreeView::SetIncludeHidden(bool value) {
    if (value == IncludeHidden())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.includeHidden = value;
    model_->SetOptions(options);
    if (listView_) {
        TShContentsSet contents = listView_->ShContents();
        if (value)
            contents.include(scHidden);
        else
            contents.exclude(scHidden);
        listView_->SetShContents(contents);
    }
    RefreshNodes();
}

void TCustomVelShTreeView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == ShVirtuaItems())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.virtuaItems = items;
    model_->SetOptions(options);
    if (listView_)
        listView_->SetShVirtuaItems(items);
    RefreshNodes();
}

TCustomVelShListView* TCustomVelShTreeView::ShListView() const {
    return listView_;
}

void TCustomVelShTreeView::link(TCustomVelShTreeView* tree, TCustomVelShListView* list) {
    if (tree->listView_ && tree->listView_ != list && tree->listView_->tree_ == tree)
        tree->listView_->tree_ = nullptr;
    if (list->tree_ && list->tree_ != tree && list->tree_->listView_ == list)
        list->tree_->listView_ = nullptr;
    tree->listView_ = list;
    list->tree_ = tree;
}

void TCustomVelShTreeView::SetShListView(TCustomVelShListView* list) {
    if (list == listView_)
        return;
    if (!list) {
        if (listView_ && listView_->tree_ == this)
            listView_->tree_ = nullptr;
        listView_ = nullptr;
        return;
    }
    link(this, list);
    TShContentsSet contents = list->ShContents();
    if (IncludeHidden())
        contents.include(scHidden);
    else
        contents.exclude(scHidden);
    list->SetShContents(contents);
    list->SetShVirtuaItems(ShVirtuaItems());
    list->SetFolder(SelectedID());
    updatePriorityFolders();
}

// --- building -------------------------------------------------------------------------

std::unique_ptr<TVelShFolderData> TCustomVelShTreeView::makeRootItem() const {
    const TVelShRoot& root = *shRoot_;
    if (root.UsesID() && root.RootFolderID() == sfidDeskTop) {
        // The desktop is the empty ID; its relative ID names the desktop folder,
        // so that it has a path.
        PItemIDList folder = nullptr;
        if (!TVelShID::IDSpecialFolder(sfidDeskTopFolder, folder))
            return nullptr;
        return std::make_unique<TVelShFolderData>(IDMakeEmpty(), folder);
    }
    PItemIDList id = nullptr;
    const bool ok = root.UsesID() ? TVelShID::IDSpecialFolder(root.RootFolderID(), id)
                                  : TVelShID::IDParse(root.RootPath(), id);
    return ok ? std::make_unique<TVelShFolderData>(id) : nullptr;
}

void TCustomVelShTreeView::Rebuild() {
    TPriorityBatch batch(*this);
    FlagScope rebuilding(rebuilding_, true);
    model_->Build(makeRootItem());
    TVelShTreeNode* root = Root();
    if (!root || !root->IsValid())
        return;
    const QModelIndex rootIndex = IndexOf(root);
    expand(rootIndex);
    if (root->Data()->GetLevel() == 0) {
        for (int i = 0; i < root->Count(); ++i) {
            TVelShTreeNode* child = root->Child(i);
            if (child->IsValid() &&
                TVelShID::IsSpecialFolder(child->Data()->GetAbsoluteID(), sfidDrives)) {
                expand(IndexOf(child));
                break;
            }
        }
    }
    selectIndex(rootIndex, false);
    // The branches the user had open, as far as they are below the root.
    const PCItemIDList rootID = root->Data()->GetAbsoluteID();
    std::vector<TIDListPtr> open;
    for (int i = 0; i < expanded_.Count(); ++i) {
        if (TVelShID::IDIsAncestor(rootID, expanded_.Items(i)))
            open.emplace_back(TVelShID::IDClone(expanded_.Items(i)));
    }
    for (const TIDListPtr& id : open) {
        bool reached = false;
        TVelShTreeNode* node = findNode(id.get(), reached);
        if (reached)
            expand(IndexOf(node));
    }
}

void TCustomVelShTreeView::rootChanged() {
    if (destroying_)
        return;
    TIDListPtr selected(TVelShID::IDClone(SelectedID()));
    Rebuild();
    if (listView_)
        listView_->SetFolder(SelectedID());
    SelectPath(selected.get());
}

// --- filling and finding --------------------------------------------------------------

bool TCustomVelShTreeView::nodeReady(TVelShTreeNode* node) {
    TVelShFolderData* item = node->Data();
    // The desktop shows its virtual items even without a desktop folder.
    return item->GetLevel() == 0 || ShItemReady(*item);
}

bool TCustomVelShTreeView::fillNode(TVelShTreeNode* node) {
    // A drive without its medium, or one that does not answer, expands empty,
    // without an error.
    if (!nodeReady(node))
        return false;
    model_->Fill(node);
    model_->SetHasChildren(node, node->Count() > 0);
    return true;
}

void TCustomVelShTreeView::nodeExpanded(const QModelIndex& index) {
    TVelShTreeNode* node = model_->NodeOf(index);
    if (!node || !node->IsValid() || destroying_)
        return;
    TVelShFolderData* item = node->Data();
    // While a drag is over the tree, deep branches of other kinds than folders and
    // drives open without being read.
    const TShItemIDType type = item->GetItemType();
    const bool fills =
        mouseState_ != 3 || node->Level() <= 1 || type == itFolder || type == itRootDrive;
    // A drive or folder that did not answer is not open: nothing to open again
    // later, nothing to watch.
    if (node->Count() == 0 && fills && !fillNode(node))
        return;
    if (item->HasAttribute(SFGAO_FILESYSTEM) && expanded_.IndexOf(item->GetAbsoluteID()) < 0) {
        expanded_.Add(TVelShID::IDClone(item->GetAbsoluteID()));
        updatePriorityFolders();
    }
}

void TCustomVelShTreeView::nodeCollapsed(const QModelIndex& index) {
    TVelShTreeNode* node = model_->NodeOf(index);
    if (!node || !node->Data())
        return;
    // The node and the branches below it are no longer open.
    const PCItemIDList id = node->Data()->GetAbsoluteID();
    const int before = expanded_.Count();
    for (int i = expanded_.Count() - 1; i >= 0; --i) {
        if (TVelShID::IDIsEqual(id, expanded_.Items(i)) ||
            TVelShID::IDIsAncestor(id, expanded_.Items(i)))
            expanded_.Delete(i);
    }
    if (expanded_.Count() != before)
        updatePriorityFolders();
}

TVelShTreeNode* TCustomVelShTreeView::findNode(PCItemIDList id, bool& reached) {
    reached = false;
    TVelShTreeNode* node = Root();
    if (!id || !node || !node->IsValid())
        return node;
    const PCItemIDList rootID = node->Data()->GetAbsoluteID();
    const int skip = TVelShID::IDCount(rootID);
    if (skip > 0 && !TVelShID::IDIsEqual(rootID, id) && !TVelShID::IDIsAncestor(rootID, id))
        return node;
    const int count = TVelShID::IDCount(id);
    PCItemIDList rest = id;
    for (int i = 0; i < skip; ++i)
        rest = TVelShID::IDNext(rest);
    for (int level = skip; level < count; ++level) {
        if (!isExpanded(IndexOf(node)))
            expand(IndexOf(node));
        else if (node->Count() == 0)
            fillNode(node);
        TIDListPtr wanted(TVelShID::IDCopyFirst(rest));
        TVelShTreeNode* child = model_->ChildOf(node, wanted.get());
        if (!child && fillNode(node)) // it may have appeared since the branch was read
            child = model_->ChildOf(node, wanted.get());
        if (!child)
            return node;
        node = child;
        rest = TVelShID::IDNext(rest);
    }
    reached = true;
    return node;
}

TVelShTreeNode* TCustomVelShTreeView::FindNode(PCItemIDList id) {
    TPriorityBatch batch(*this);
    bool reached = false;
    TVelShTreeNode* node = findNode(id, reached);
    return reached ? node : Root();
}

void TCustomVelShTreeView::SelectPath(PCItemIDList id) {
    TVelShTreeNode* root = Root();
    if (!id || !root || !root->IsValid())
        return;
    const PCItemIDList rootID = root->Data()->GetAbsoluteID();
    if (TVelShID::IDCount(rootID) > 0 && !TVelShID::IDIsEqual(rootID, id) &&
        !TVelShID::IDIsAncestor(rootID, id))
        return;
    TVelShTreeNode* selected = Selected();
    if (selected && selected->Data() && TVelShID::IDIsEqual(selected->Data()->GetAbsoluteID(), id))
        return;
    TPriorityBatch batch(*this);
    bool reached = false;
    TVelShTreeNode* node = findNode(id, reached);
    if (!node)
        return;
    // An ancestor stands in for an item without a node; the list, which asked,
    // stays on the item.
    const QModelIndex index = IndexOf(node);
    selectIndex(index, reached);
    scrollTo(index);
}

PCItemIDList TCustomVelShTreeView::SelectedID() const {
    if (const TVelShTreeNode* node = Selected(); node && node->Data())
        return node->Data()->GetAbsoluteID();
    if (const TVelShTreeNode* root = Root(); root && root->Data())
        return root->Data()->GetAbsoluteID();
    return nullptr;
}

TVelShTreeNode* TCustomVelShTreeView::Selected() const {
    return model_->NodeOf(currentIndex());
}

// --- refreshing --------------------------------------------------------------------

void TCustomVelShTreeView::refreshNode(TVelShTreeNode* node) {
    if (!node->IsValid())
        return;
    const bool open = isExpanded(IndexOf(node));
    if (open || node->Count() > 0) {
        if (!nodeReady(node))
            return; // a drive that stopped answering keeps what it showed
        model_->Fill(node);
    } else {
        model_->Reattach(node);
    }
    if (!open)
        return;
    for (int i = 0; i < node->Count(); ++i)
        refreshNode(node->Child(i));
}

void TCustomVelShTreeView::RefreshNodes() {
    if (destroying_ || !Root())
        return;
    TShBusyCursor busy;
    refreshNode(Root());
}

void TCustomVelShTreeView::foldersChanged() {
    if (destroying_)
        return;
    if (mouseState_ != 0)
        refreshPending_ = true; // taken up when the button is released
    else
        RefreshNodes();
    const int before = expanded_.Count();
    for (int i = expanded_.Count() - 1; i >= 0; --i) {
        std::string path;
        if (!expanded_.GetPath(i, path) || !ShFolderReady(path))
            expanded_.Delete(i);
    }
    if (expanded_.Count() != before)
        updatePriorityFolders();
}

void TCustomVelShTreeView::refreshAfterOperation() {
    if (mouseState_ != 0)
        refreshPending_ = true;
    else
        RefreshNodes();
}

void TCustomVelShTreeView::updatePriorityFolders() {
    if (priorityHold_ > 0) {
        priorityDirty_ = true;
        return;
    }
    priorityDirty_ = false;
    if (!notify_ || destroying_)
        return;
    std::vector<std::string> folders;
    for (int i = 0; i < expanded_.Count(); ++i) {
        std::string path;
        if (expanded_.GetPath(i, path))
            folders.push_back(std::move(path));
    }
    if (listView_) {
        if (TVelShFileList* shown = listView_->ShFileList(); shown && !shown->Path().empty())
            folders.push_back(shown->Path());
    }
    notify_->SetPriorityFolders(folders);
    notify_->WaitReady();
}

void TCustomVelShTreeView::runPendingRefresh() {
    if (refreshPending_ && mouseState_ == 0) {
        refreshPending_ = false;
        RefreshNodes();
    }
}

void TCustomVelShTreeView::SuspendNotify(bool withLinked) {
    if (suspended_++ == 0 && notify_) {
        notify_->SetFolders(nullptr);
        notify_->WaitReady();
    }
    if (withLinked && listView_)
        listView_->SuspendNotify(false);
}

void TCustomVelShTreeView::ResumeNotify(bool withLinked) {
    if (suspended_ > 0 && --suspended_ == 0 && notify_) {
        notify_->SetFolders(watched_);
        notify_->WaitReady();
    }
    if (withLinked && listView_)
        listView_->ResumeNotify(false);
}

// --- selection ------------------------------------------------------------------------

void TCustomVelShTreeView::selectIndex(const QModelIndex& index, bool tellList) {
    FlagScope quiet(quietSelect_, !tellList);
    setCurrentIndex(index);
}

void TCustomVelShTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (rebuilding_ || destroying_)
        return;
    TVelShTreeNode* node = model_->NodeOf(current);
    if (!node || !node->IsValid())
        return;
    if (model_->IsChanging()) {
        // The selection moved because its node is being removed: act once the
        // model is whole again.
        QMetaObject::invokeMethod(
            this, [this] { applyCurrent(); }, Qt::QueuedConnection);
        return;
    }
    if (quietSelect_) {
        cancelPendingChange();
        emit OnChange(node);
        return;
    }
    if (arrowKey_ && changeDelay_ && delay_) {
        delay_->Post(new TVelShPendingChange(TVelShID::IDClone(node->Data()->GetAbsoluteID())),
                     kChangeDelayMs, true);
        return;
    }
    cancelPendingChange();
    applyChange(node);
}

void TCustomVelShTreeView::applyCurrent() {
    TVelShTreeNode* node = Selected();
    if (node && node->IsValid() && !destroying_) {
        cancelPendingChange();
        applyChange(node);
    }
}

void TCustomVelShTreeView::applyChange(TVelShTreeNode* node) {
    emit OnChange(node);
    SelectionChanged(node->Data());
}

void TCustomVelShTreeView::cancelPendingChange() {
    if (delay_ && delay_->pending())
        delay_->Post(nullptr, kChangeDelayMs, false);
}

void TCustomVelShTreeView::applyDelayedChange(TShPendingNode*& node) {
    if (!node || model_->IsChanging())
        return; // delivered again after another delay
    const auto* pending = static_cast<TVelShPendingChange*>(node);
    node = nullptr;
    // Only a change that is still the tree's selection reaches the list; a node
    // deleted meanwhile is not found at all.
    TVelShTreeNode* selected = Selected();
    if (selected && selected->IsValid() &&
        TVelShID::IDIsEqual(selected->Data()->GetAbsoluteID(), pending->ID()))
        applyChange(selected);
}

void TCustomVelShTreeView::SelectionChanged(TVelShData* item) {
    if (listView_ && item && item->HasAttribute(SFGAO_FOLDER))
        listView_->SetFolder(item->GetAbsoluteID());
}

// --- events -----------------------------------------------------------------------

bool TCustomVelShTreeView::DoAddData(TVelShData* item) {
    bool accept = true;
    if (OnShAddData)
        OnShAddData(this, item, accept);
    if (accept && OnShFilter && item->GetItemType() == itFile)
        OnShFilter(this, item, accept);
    return accept;
}

bool TCustomVelShTreeView::DoBeginDrag(TVelShTreeNode* node, const QPoint& pt, const QPoint& at) {
    bool canDrag = true;
    if (OnShBeginDrag)
        OnShBeginDrag(this, node, pt, at.x(), at.y(), canDrag);
    return canDrag;
}

bool TCustomVelShTreeView::DoExecute(TVelShTreeNode* node) {
    bool defaultAction = true;
    if (OnShExecute)
        OnShExecute(this, node, defaultAction);
    return defaultAction;
}

bool TCustomVelShTreeView::DoLinkOpen(TVelShTreeNode* node) {
    bool canOpen = true;
    if (OnShLinkOpen)
        OnShLinkOpen(this, node, canOpen);
    return canOpen;
}

void TCustomVelShTreeView::OpenNode(TVelShTreeNode* node) {
    TVelShFolderData* item = node->Data();
    if (item->HasAttribute(SFGAO_LINK) && DoLinkOpen(node)) {
        PItemIDList target = nullptr;
        if (!item->ResolveLink(target))
            return; // a broken link opens nothing
        TIDListPtr owned(target);
        TVelShData resolved(TVelShID::IDClone(target));
        if (resolved.HasAttribute(SFGAO_FOLDER))
            SelectPath(target);
        else if (DoExecute(node))
            item->Execute(*opener_);
        return;
    }
    if (DoExecute(node))
        item->Execute(*opener_);
}

// --- mouse and keyboard ----------------------------------------------------------

QRect TCustomVelShTreeView::ItemHitRect(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    if (!cell.isValid())
        return {};
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    int width = 2 * margin + fontMetrics().horizontalAdvance(index.data().toString());
    if (!index.data(Qt::DecorationRole).isNull())
        width += iconSize().width() + 2 * margin;
    if (model_->Checkboxes())
        width += style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 2 * margin;
    return QRect(cell.left(), cell.top(), std::min(width, cell.width()), cell.height());
}

void TCustomVelShTreeView::setHighlight(const QModelIndex& index) {
    if (QModelIndex(highlighted_) == index)
        return;
    const QModelIndex old = highlighted_;
    highlighted_ = index;
    if (old.isValid())
        update(old);
    if (index.isValid())
        update(index);
    viewport()->update();
}

bool TCustomVelShTreeView::onBranchButton(const QModelIndex& index, const QPoint& pos) const {
    const QRect cell = visualRect(index);
    return index.isValid() && model_->hasChildren(index) && pos.x() < cell.left() &&
           pos.x() >= cell.left() - indentation();
}

void TCustomVelShTreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    pressPos_ = pos;
    setFocus(Qt::MouseFocusReason);
    slowEditTimer_.stop();
    if (event->button() == Qt::LeftButton) {
        if (index.isValid() && ItemHitRect(index).contains(pos)) {
            // Highlight only: the release selects, a drag leaves the selection alone.
            pressOnSelected_ = index == currentIndex();
            setHighlight(index);
            mouseState_ = 1;
            event->accept();
            return;
        }
        setHighlight({});
        if (onBranchButton(index, pos)) {
            // The branch's button opens or closes it, as always.
            branchPress_ = true;
            QTreeView::mousePressEvent(event);
        }
        return;
    }
    if (event->button() == Qt::RightButton) {
        const TVelShTreeNode* node = model_->NodeOf(index);
        if (node && node->IsValid() && node->Data()->GetLevel() > 0) {
            setHighlight(index);
            mouseState_ = 2;
        }
        event->accept();
    }
}

void TCustomVelShTreeView::mouseMoveEvent(QMouseEvent* event) {
    if ((mouseState_ == 1 || mouseState_ == 2) &&
        (event->buttons() & (Qt::LeftButton | Qt::RightButton))) {
        const QPoint d = event->position().toPoint() - pressPos_;
        if (std::abs(d.x()) > kDragDistance || std::abs(d.y()) > kDragDistance)
            beginDrag(event->position().toPoint());
        return;
    }
    if (branchPress_)
        QTreeView::mouseMoveEvent(event);
}

void TCustomVelShTreeView::mouseReleaseEvent(QMouseEvent* event) {
    if (branchPress_) {
        branchPress_ = false;
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton && mouseState_ == 1) {
        const QModelIndex index = highlighted_;
        mouseState_ = 0;
        setHighlight({});
        if (index.isValid()) {
            selectIndex(index, true);
            // A second, slow click on the selected node edits its label.
            if (pressOnSelected_ && !readOnly_) {
                slowEdit_ = index;
                slowEditTimer_.start(QApplication::doubleClickInterval());
            }
        }
    } else if (event->button() == Qt::RightButton && mouseState_ == 2) {
        mouseState_ = 0;
        setHighlight({});
    }
    runPendingRefresh();
}

void TCustomVelShTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    slowEditTimer_.stop();
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() != Qt::LeftButton || !index.isValid() || !ItemHitRect(index).contains(pos))
        return; // only the icon and the label open a node
    TVelShTreeNode* node = model_->NodeOf(index);
    if (!node || !node->IsValid())
        return;
    TVelShFolderData* item = node->Data();
    if (item->HasAttribute(SFGAO_FOLDER) && !item->HasAttribute(SFGAO_LINK)) {
        setExpanded(index, !isExpanded(index)); // folders open and close
        return;
    }
    OpenNode(node);
}

void TCustomVelShTreeView::contextMenuEvent(QContextMenuEvent* event) {
    // No shell context menu here; a right click just leaves the selection alone.
    if (mouseState_ == 2 && !(QGuiApplication::mouseButtons() & Qt::RightButton)) {
        mouseState_ = 0;
        setHighlight({});
    }
    event->accept();
}

void TCustomVelShTreeView::keyPressEvent(QKeyEvent* event) {
    if (changeDelay_ && isArrowKey(event->key()))
        arrowKey_ = true;
    QTreeView::keyPressEvent(event);
}

void TCustomVelShTreeView::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && isArrowKey(event->key()))
        arrowKey_ = false;
    QTreeView::keyReleaseEvent(event);
}

void TCustomVelShTreeView::focusOutEvent(QFocusEvent* event) {
    arrowKey_ = false; // its release goes elsewhere
    QTreeView::focusOutEvent(event);
}

void TCustomVelShTreeView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::ThemeChange) {
        TShImageList::instance().themeChanged();
        TShItemIcons::instance().clear();
        viewport()->update();
    }
    QTreeView::changeEvent(event);
}

void TCustomVelShTreeView::beginDrag(const QPoint& at) {
    TVelShTreeNode* node = model_->NodeOf(highlighted_);
    // The press ends here whether or not a drag follows: the release selects nothing.
    mouseState_ = 0;
    setHighlight({});
    if (!node || !node->IsValid() || node->Data()->GetLevel() == 0)
        return;
    TVelShFolderData* item = node->Data();
    TVelShIDList ids(true);
    ids.SetParentID(TVelShID::IDClone(item->GetParentID()));
    ids.Add(TVelShID::IDClone(item->GetRelativeID()));
    const Qt::DropActions actions = ShDragActions(ids);
    if (!actions || !DoBeginDrag(node, pressPos_, at))
        return;
    mouseState_ = 3;
    ShRunDrag(this, ids, actions);
    mouseState_ = 0;
    runPendingRefresh();
}

} // namespace kelvora

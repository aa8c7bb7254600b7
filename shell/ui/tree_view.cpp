#include "shell/ui/tree_view.h"

#include "shell/items/drive_ready.h"
#include "shell/items/image_list.h"
#include "shell/notify/change_delay.h"
#include "shell/notify/notify_filter.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/drag_scroll.h"
#include "shell/ui/item_opener.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_watcher.h"
#include "shell/ui/view_drop.h"
#include "shell/ui/view_link.h"

#include <QHeaderView>
#include <QScopedValueRollback>

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

std::uint8_t filterFor(bool includeFiles) {
    return kNotifyDirName | (includeFiles ? kNotifyFileName : 0);
}

} // namespace

TCustomVelShTreeView::TCustomVelShTreeView(QWidget* parent)
    : QTreeView(parent), model_(new TVelShTreeModel(this, this)), nodes_(*model_, *this),
      shRoot_(std::make_unique<TVelShRoot>(this, [this] { rootChanged(); })),
      opener_(&DefaultShellOpener()), dialogs_(&DefaultDialogs()),
      drop_(std::make_unique<TShViewDrop>(this)), scroller_(new TShDragScroller(this)) {
    model_->SetAcceptItem([this](TVelShFolderData* item) { return DoAddData(item); });
    setModel(model_);
    setItemDelegate(newHighlightDelegate());
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
        if (slowEdit_.isValid() && slowEdit_ == currentIndex() &&
            mouseState_ == TShMouseState::Idle)
            edit(slowEdit_);
    });
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAnimated(false);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!destroying_)
            nodes_.Opened(model_->NodeOf(index));
    });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { nodes_.Closed(model_->NodeOf(index)); });

    watcher_ = std::make_unique<TVelShTreeWatcher>(filterFor(IncludeFiles()),
                                                   [this] { return seenFolders(); });
    connect(watcher_.get(), &TVelShTreeWatcher::foldersChanged, this,
            &TCustomVelShTreeView::foldersChanged);
    connect(watcher_.get(), &TVelShTreeWatcher::drivesChanged, this,
            &TCustomVelShTreeView::driveChanged);
    connect(&TShReadinessAnswers::instance(), &TShReadinessAnswers::answered, this, [this] {
        if (!destroying_)
            nodes_.Retry();
    });
    delay_ = std::make_unique<TVelShChangeDelay>(
        [this](TShThread*) { (void)delay_.release(); },
        [this](TVelShChangeDelay*, TShPendingNode*& node) { applyDelayedChange(node); });
    Rebuild();
}

TCustomVelShTreeView::~TCustomVelShTreeView() {
    destroying_ = true;
    if (delay_) {
        delay_->setOnTerminate(nullptr);
        delay_->Stop();
        delay_.reset();
    }
    watcher_->Stop();
    drop_.reset(); // cancels the drops' operations and waits for them
    if (const std::shared_ptr<TVelShViewLink> link = link_)
        link->Break();
}

TShNotifyThread* TCustomVelShTreeView::NotifyThread() const {
    return watcher_->Thread();
}

std::vector<std::string> TCustomVelShTreeView::WatchedFolders() const {
    return watcher_->Roots();
}

TShMountMonitor* TCustomVelShTreeView::MountMonitor() const {
    return watcher_->MountMonitor();
}

void TCustomVelShTreeView::SetMountMonitor(TShMountMonitor* monitor) {
    watcher_->SetMountMonitor(monitor);
}

void TCustomVelShTreeView::DrivesChanged() {
    watcher_->TakeDrives();
    RefreshNodes();
}

void TCustomVelShTreeView::driveChanged(const QByteArray& id, const QString& text) {
    if (destroying_)
        return;
    DrivesChanged();
    // The ID a monitor's signal carries, or nothing.
    const PCItemIDList drive =
        id.size() >= 2 ? reinterpret_cast<PCItemIDList>(id.constData()) : nullptr;
    TVelShTreeNode* node = nodes_.Shown(drive);
    if (node && node->IsValid())
        model_->SetText(node, text);
}

// --- properties ---------------------------------------------------------------------

void TCustomVelShTreeView::SetIncludeFiles(bool value) {
    if (value == IncludeFiles())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.includeFiles = value;
    model_->SetOptions(options);
    watcher_->Folders().SetFilter(filterFor(value));
    RefreshNodes();
}

void TCustomVelShTreeView::SetIncludeHidden(bool value) {
    if (value == IncludeHidden())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.includeHidden = value;
    model_->SetOptions(options);
    if (TCustomVelShListView* list = linkedList()) {
        TShContentsSet contents = list->ShContents();
        if (value)
            contents.include(scHidden);
        else
            contents.exclude(scHidden);
        list->SetShContents(contents);
    }
    RefreshNodes();
}

void TCustomVelShTreeView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == ShVirtuaItems())
        return;
    TVelShTreeModel::TOptions options = model_->Options();
    options.virtuaItems = items;
    model_->SetOptions(options);
    if (TCustomVelShListView* list = linkedList())
        list->SetShVirtuaItems(items);
    RefreshNodes();
}

TCustomVelShListView* TCustomVelShTreeView::linkedList() const {
    return link_ ? link_->List() : nullptr;
}

TCustomVelShListView* TCustomVelShTreeView::ShListView() const {
    return linkedList();
}

void TCustomVelShTreeView::AttachLink(std::shared_ptr<TVelShViewLink> link) {
    link_ = std::move(link);
    if (!link_)
        return;
    connect(link_.get(), &TVelShViewLink::ListFolderShown, this,
            [this] { watcher_->PriorityChanged(); });
    connect(link_.get(), &TVelShViewLink::OperationFinished, this,
            &TCustomVelShTreeView::refreshAfterOperation);
    connect(link_.get(), &TVelShViewLink::ListItemRenamed, this,
            &TCustomVelShTreeView::itemRenamed);
}

void TCustomVelShTreeView::SetShListView(TCustomVelShListView* list) {
    if (list == linkedList())
        return;
    if (!list) {
        if (const std::shared_ptr<TVelShViewLink> link = link_)
            link->Break();
        return;
    }
    TVelShViewLink::Join(this, list);
    TShContentsSet contents = list->ShContents();
    if (IncludeHidden())
        contents.include(scHidden);
    else
        contents.exclude(scHidden);
    list->SetShContents(contents);
    list->SetShVirtuaItems(ShVirtuaItems());
    list->SetFolder(SelectedID());
    watcher_->PriorityChanged();
}

// --- building and finding ---------------------------------------------------------------

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
    TVelShTreeWatcher::TBatch batch(*watcher_);
    const QScopedValueRollback<bool> rebuilding(rebuilding_, true);
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
    nodes_.ReopenRemembered();
}

void TCustomVelShTreeView::rootChanged() {
    if (destroying_)
        return;
    TIDListPtr selected(TVelShID::IDClone(SelectedID()));
    Rebuild();
    if (TCustomVelShListView* list = linkedList())
        list->SetFolder(SelectedID());
    SelectPath(selected.get());
}

bool TCustomVelShTreeView::IsOpen(TVelShTreeNode* node) const {
    return isExpanded(IndexOf(node));
}

void TCustomVelShTreeView::Open(TVelShTreeNode* node) {
    expand(IndexOf(node));
}

void TCustomVelShTreeView::OpenBranchesChanged() {
    watcher_->PriorityChanged();
}

TVelShTreeNode* TCustomVelShTreeView::FindNode(PCItemIDList id) {
    TVelShTreeWatcher::TBatch batch(*watcher_);
    bool reached = false;
    TVelShTreeNode* node = nodes_.Find(id, reached);
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
    TVelShTreeWatcher::TBatch batch(*watcher_);
    bool reached = false;
    TVelShTreeNode* node = nodes_.Find(id, reached);
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

void TCustomVelShTreeView::RefreshNodes() {
    if (destroying_ || !Root())
        return;
    TShBusyCursor busy;
    nodes_.Refresh(Root());
}

void TCustomVelShTreeView::foldersChanged() {
    if (destroying_)
        return;
    if (mouseState_ != TShMouseState::Idle)
        refreshPending_ = true; // taken up when the button is released
    else
        RefreshNodes();
    nodes_.ForgetVanished();
}

void TCustomVelShTreeView::refreshAfterOperation() {
    if (mouseState_ != TShMouseState::Idle)
        refreshPending_ = true;
    else
        RefreshNodes();
}

std::vector<std::string> TCustomVelShTreeView::seenFolders() const {
    std::vector<std::string> folders = nodes_.ExpandedPaths();
    if (TCustomVelShListView* list = linkedList()) {
        if (TVelShFileList* shown = list->ShFileList(); shown && !shown->Path().empty())
            folders.push_back(shown->Path());
    }
    return folders;
}

void TCustomVelShTreeView::runPendingRefresh() {
    if (refreshPending_ && mouseState_ == TShMouseState::Idle) {
        refreshPending_ = false;
        RefreshNodes();
    }
}

void TCustomVelShTreeView::SuspendNotify(bool withLinked) {
    watcher_->Folders().Suspend();
    if (TCustomVelShListView* list = linkedList(); list && withLinked)
        list->SuspendNotify(false);
}

void TCustomVelShTreeView::ResumeNotify(bool withLinked) {
    watcher_->Folders().Resume();
    if (TCustomVelShListView* list = linkedList(); list && withLinked)
        list->ResumeNotify(false);
}

// --- selection ------------------------------------------------------------------------

void TCustomVelShTreeView::selectIndex(const QModelIndex& index, bool tellList) {
    const QScopedValueRollback<bool> quiet(quietSelect_, !tellList);
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
    TCustomVelShListView* list = linkedList();
    if (list && item && item->HasAttribute(SFGAO_FOLDER))
        list->SetFolder(item->GetAbsoluteID());
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
    ShOpenItem(*node->Data(), *opener_,
               {[&] { return DoLinkOpen(node); }, [&] { return DoExecute(node); },
                [&](PCItemIDList folder) { SelectPath(folder); }});
}

} // namespace kelvora

#include "shell/ui/list_view.h"

#include "shell/items/drag_object.h"
#include "shell/items/drive_ready.h"
#include "shell/notify/notify_filter.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/drag_scroll.h"
#include "shell/ui/list_reader.h"
#include "shell/ui/list_thumbnails.h"
#include "shell/ui/list_watcher.h"
#include "shell/ui/tree_view.h"
#include "shell/ui/view_drop.h"
#include "shell/ui/view_link.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStackedLayout>
#include <algorithm>

namespace kelvora {

namespace {

// Holds back painting while the rows are swapped, as one update.
class UpdateBracket {
public:
    explicit UpdateBracket(QWidget* w) : w_(w), was_(w->updatesEnabled()) {
        w_->setUpdatesEnabled(false);
    }
    ~UpdateBracket() { w_->setUpdatesEnabled(was_); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
    QWidget* w_;
    bool was_;
};

} // namespace

TCustomVelShListView::TCustomVelShListView(QWidget* parent)
    : QWidget(parent), model_(new TVelShListModel(this)), stack_(new QStackedLayout(this)),
      iconView_(new TShListIconView(*this, this)),
      detailsView_(new TShListDetailsView(*this, this)),
      iconDelegate_(new TShListItemDelegate(this)),
      thumbnails_(std::make_unique<TShListThumbnails>(*iconView_, *model_)),
      opener_(&DefaultShellOpener()), columns_(*this, *detailsView_->header()),
      dialogs_(&DefaultDialogs()), drop_(std::make_unique<TShViewDrop>(this)),
      iconScroller_(new TShDragScroller(iconView_)),
      detailsScroller_(new TShDragScroller(detailsView_)) {
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(iconView_);
    stack_->addWidget(detailsView_);

    iconView_->setModel(model_);
    model_->SetDecorate([this](int row, TVelShFileData* item) {
        return thumbnails_ ? thumbnails_->Decoration(row, item) : QVariant();
    });
    detailsView_->setModel(model_);
    detailsView_->setSelectionModel(iconView_->selectionModel());
    iconView_->setItemDelegate(iconDelegate_);
    detailsView_->setItemDelegate(new TShListItemDelegate(this));
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(detailsView_)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setDragEnabled(true);
        view->setDropIndicatorShown(false);
        connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
            // Opening may show another folder: not from inside the view's own
            // mouse handling. A row gone by then (the folder was read again)
            // opens nothing.
            const QPersistentModelIndex row(index);
            const Qt::KeyboardModifiers shift = QGuiApplication::keyboardModifiers();
            QMetaObject::invokeMethod(
                this,
                [this, row, shift] {
                    if (row.isValid())
                        OpenRow(row.row(), shift);
                },
                Qt::QueuedConnection);
        });
    }
    SetReadOnly(false);
    connect(drop_.get(), &TShViewDrop::operationFinished, this,
            &TCustomVelShListView::operationFinished);
    iconView_->setUniformItemSizes(true);
    iconView_->setResizeMode(QListView::Adjust);
    detailsView_->setRootIsDecorated(false);
    detailsView_->setItemsExpandable(false);
    detailsView_->setUniformRowHeights(true);
    detailsView_->setAllColumnsShowFocus(true);
    detailsView_->setSortingEnabled(false);
    QHeaderView* header = detailsView_->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(true);
    connect(header, &QHeaderView::sectionClicked, this, &TCustomVelShListView::headerClicked);

    QItemSelectionModel* selection = iconView_->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            &TCustomVelShListView::selectionChanged);
    connect(selection, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { currentChanged(current); });
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, [this] {
            const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
            emit OnShClipboard(offered &&
                               offered->hasFormat(QString::fromLatin1(kShellIDListArrayMime)));
        });
    }
    configureViews();

    reader_ = new TVelShListReader(
        [this](TVelShFileList* list, TVelShFileList::TReading reading) {
            readingArrived(list, std::move(reading));
        },
        this);
    watcher_ = std::make_unique<TVelShListWatcher>(notifyFilter(), cache_);
    connect(watcher_.get(), &TVelShListWatcher::folderChanged, this,
            &TCustomVelShListView::foldersChanged);
    connect(&TShReadinessAnswers::instance(), &TShReadinessAnswers::answered, this,
            &TCustomVelShListView::answered);

    columns_.SetFile(DefaultColumnMemoryFile());
    TIDListPtr desktop(IDMakeEmpty());
    SetFolder(desktop.get());
}

TCustomVelShListView::~TCustomVelShListView() {
    destroying_ = true;
    thumbnails_.reset(); // cancels the thumbnails being made and waits for them
    drop_.reset();       // cancels the drops' operations and waits for them
    watcher_->Stop();
    SaveColumnLayout();
    WriteColumnMemory();
    if (const std::shared_ptr<TVelShViewLink> link = link_)
        link->Break();
    model_->SetList(nullptr);
}

std::string TCustomVelShListView::DefaultColumnMemoryFile() {
    return TVelShListColumns::DefaultFile();
}

void TCustomVelShListView::SetColumnMemoryFile(const std::string& fileName) {
    columns_.SetFile(fileName);
    if (TVelShFileList* list = ShFileList())
        columns_.Apply(list);
}

bool TCustomVelShListView::WriteColumnMemory() {
    return columns_.Write();
}

void TCustomVelShListView::SaveColumnLayout() {
    columns_.Save(ShFileList());
}

// --- properties ---------------------------------------------------------------------

std::uint8_t TCustomVelShListView::notifyFilter() const {
    std::uint8_t filter = 0;
    if (contents_.contains(scFolders))
        filter |= kNotifyDirName;
    if (contents_.contains(scFiles))
        filter |= kNotifyFileName;
    // A picture written over in place changes its thumbnail.
    if (thumbnails_ && thumbnails_->Active())
        filter |= kNotifyLastWrite;
    return filter;
}

void TCustomVelShListView::SetShContents(TShContentsSet contents) {
    if (contents == contents_)
        return;
    contents_ = contents;
    dropCachedLists(false);
    if (TVelShFileList* list = ShFileList()) {
        enumerate(list, true);
        display(list);
        emit OnShListChange(list);
    }
    watcher_->Folders().SetFilter(notifyFilter());
}

void TCustomVelShListView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == virtuaItems_)
        return;
    virtuaItems_ = items;
    if (TCustomVelShTreeView* tree = linkedTree())
        tree->SetShVirtuaItems(items);
    dropCachedLists(false);
    if (TVelShFileList* list = ShFileList()) {
        enumerate(list, true);
        display(list);
        emit OnShListChange(list);
    }
}

TCustomVelShTreeView* TCustomVelShListView::linkedTree() const {
    return link_ ? link_->Tree() : nullptr;
}

TCustomVelShTreeView* TCustomVelShListView::ShTreeView() const {
    return linkedTree();
}

void TCustomVelShListView::AttachLink(std::shared_ptr<TVelShViewLink> link) {
    link_ = std::move(link);
    if (!link_)
        return;
    connect(link_.get(), &TVelShViewLink::OperationFinished, this,
            &TCustomVelShListView::refreshAfterOperation);
    connect(link_.get(), &TVelShViewLink::TreeItemRenamed, this, [this] { dropCachedLists(true); });
}

void TCustomVelShListView::SetShTreeView(TCustomVelShTreeView* tree) {
    if (tree == linkedTree())
        return;
    if (!tree) {
        if (const std::shared_ptr<TVelShViewLink> link = link_)
            link->Break();
        return;
    }
    TVelShViewLink::Join(tree, this);
    tree->SetIncludeHidden(contents_.contains(scHidden));
    tree->SetShVirtuaItems(virtuaItems_);
    SetFolder(tree->SelectedID());
}

void TCustomVelShListView::SetThumbnailProducer(TThumbnailProducer producer) {
    thumbnails_->SetProducer(std::move(producer));
    configureViews();
}

void TCustomVelShListView::configureViews() {
    ShLayOutListViews(viewStyle_, *iconView_, *iconDelegate_, *detailsView_,
                      thumbnails_->HasProducer() ? TShListThumbnails::kBox : 0);
    thumbnails_->SetLargeIcons(viewStyle_ == vsIcon);
    if (watcher_)
        watcher_->Folders().SetFilter(notifyFilter());
    // The list view's static movement turns drags and drops off: back on.
    SetAcceptsDrops(acceptsDrops_);
}

void TCustomVelShListView::SetViewStyle(TViewStyle style) {
    if (style == viewStyle_)
        return;
    QAbstractItemView* before = ActiveView();
    const bool hadFocus = before->hasFocus();
    viewStyle_ = style;
    configureViews();
    QAbstractItemView* after = ActiveView();
    stack_->setCurrentWidget(after);
    if (hadFocus)
        after->setFocus();
    const QModelIndex current = SelectionModel()->currentIndex();
    if (current.isValid())
        after->scrollTo(current);
    after->viewport()->update();
}

void TCustomVelShListView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    columns_.Shown(ShFileList());
}

// --- what the main window reads -------------------------------------------------

QItemSelectionModel* TCustomVelShListView::SelectionModel() const {
    return iconView_->selectionModel();
}

QAbstractItemView* TCustomVelShListView::ActiveView() const {
    return viewStyle_ == vsReport ? static_cast<QAbstractItemView*>(detailsView_)
                                  : static_cast<QAbstractItemView*>(iconView_);
}

QHeaderView* TCustomVelShListView::Header() const {
    return detailsView_->header();
}

TVelShFileList* TCustomVelShListView::ShFileList() const {
    return model_->List();
}

int TCustomVelShListView::ItemsCount() const {
    return model_->rowCount();
}

TVelShFileData* TCustomVelShListView::Items(int row) const {
    return model_->RowData(row);
}

TVelShFileData* TCustomVelShListView::ItemFocused() const {
    return model_->RowData(SelectionModel()->currentIndex());
}

std::vector<std::string> TCustomVelShListView::WatchedFolders() const {
    return watcher_->Folders().Folders();
}

TShNotifyThread* TCustomVelShListView::NotifyThread() const {
    return watcher_->Thread();
}

// --- showing folders ---------------------------------------------------------------

TVelShFileList::TEnumOptions TCustomVelShListView::enumOptions() {
    TVelShFileList::TEnumOptions options;
    options.flags = 0;
    if (contents_.contains(scFolders))
        options.flags |= SHCONTF_FOLDERS;
    if (contents_.contains(scFiles))
        options.flags |= SHCONTF_NONFOLDERS;
    if (contents_.contains(scHidden))
        options.flags |= SHCONTF_INCLUDEHIDDEN;
    options.virtuaItems = virtuaItems_;
    if (OnShFilter) {
        options.accept = [this](TVelShFileData* row) {
            bool accept = true;
            OnShFilter(this, row, accept);
            return accept;
        };
    }
    return options;
}

void TCustomVelShListView::enumerate(TVelShFileList* list, bool keepSelection) {
    TShBusyCursor busy;
    reader_->Cancel(); // this reading is newer
    list->Enumerate(enumOptions(), keepSelection);
}

void TCustomVelShListView::display(TVelShFileList* list) {
    {
        // The views report nothing when their rows are replaced, and the selection put
        // back would be reported before the focus is: whoever follows the focused row
        // (the main window's preview and "追加") would go on showing a row of a folder
        // no longer shown, or see none. One report follows, with everything in place.
        const QScopedValueRollback<bool> quiet(displaying_, true);
        showRows(list);
    }
    TVelShFileData* focused = ItemFocused();
    emit OnSelectItem(focused, focused && focused->Selected());
}

void TCustomVelShListView::showRows(TVelShFileList* list) {
    // Showing the same list again (sorted, read again) keeps the columns as they are.
    const bool again = list && list == model_->List();
    const QByteArray columns = again ? Header()->saveState() : QByteArray();
    model_->SetList(list);
    if (thumbnails_)
        thumbnails_->Shown(list);
    if (again)
        Header()->restoreState(columns);
    if (!list || list->Count() == 0)
        return;
    QItemSelection selection;
    const int last = model_->columnCount() - 1;
    for (int row = 0; row < list->Count();) {
        if (!list->Items(row)->Selected()) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < list->Count() && list->Items(row)->Selected())
            ++row;
        selection.select(model_->index(first, 0), model_->index(row - 1, last));
    }
    QItemSelectionModel* selectionModel = SelectionModel();
    if (!selection.isEmpty())
        selectionModel->select(selection, QItemSelectionModel::Select);
    // The earliest-selected row still selected gets the focus back, else the
    // row that had it; a list never shown before starts at its first row.
    TVelShFileData* focus = list->Items(0);
    if (list->Focused()) {
        const auto& selected = list->SelectedRows();
        focus = selected.empty() ? list->Focused() : selected.front();
    }
    const QModelIndex current = model_->index(focus->GetIndex(), 0);
    selectionModel->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    ActiveView()->scrollTo(current);
    columns_.ShowSortIndicator(list);
}

void TCustomVelShListView::SetFolder(PCItemIDList id) {
    if (!id || destroying_)
        return;
    TVelShFileList* shown = ShFileList();
    if (shown && TVelShID::IDIsEqual(shown->FolderID(), id))
        return;
    asked_.reset(); // the latest wish wins
    reader_->Cancel();
    TVelShFileList* list = nullptr;
    {
        UpdateBracket bracket(this);
        SaveColumnLayout();
        const int hit = cache_.IndexOf(id);
        if (hit >= 0) {
            cache_.MoveToFront(hit);
            list = cache_.Items(0);
            display(list);
        } else {
            TVelShData folder(TVelShID::IDClone(id));
            const TShReadiness ready =
                folder.GetLevel() > 0 ? ShItemReadiness(folder) : TShReadiness::Ready;
            if (ready != TShReadiness::Ready) {
                // No medium, a drive that does not answer, a folder that is gone:
                // the list stays where it was, and so does the tree. A drive still
                // being asked about is gone to when it answers.
                if (ready == TShReadiness::Asking) {
                    asked_.reset(TVelShID::IDClone(id));
                    askedFrom_ = shown;
                }
                if (TCustomVelShTreeView* tree = linkedTree(); tree && shown)
                    tree->SelectPath(shown->FolderID());
                return;
            }
            auto created = std::make_unique<TVelShFileList>(this, TVelShID::IDClone(id));
            list = created.get();
            columns_.Restore(*list);
            enumerate(list, false);
            watcher_->Release(cache_.Insert(std::move(created)));
            display(list);
        }
        columns_.Rebuild();
        columns_.Apply(list);
        watcher_->Watch(list);
    }
    emit OnShListChange(list);
    if (TCustomVelShTreeView* tree = linkedTree())
        tree->SelectPath(list->FolderID());
    if (link_)
        emit link_->ListFolderShown();
}

void TCustomVelShListView::RefreshList() {
    TVelShFileList* list = ShFileList();
    if (!list || destroying_)
        return;
    TShBusyCursor busy;
    reader_->Cancel();
    TVelShFileList::TReading reading =
        TVelShFileList::Read(list->MakeReadRequest(enumOptions().flags));
    showReading(list, std::move(reading));
}

void TCustomVelShListView::showReading(TVelShFileList* list, TVelShFileList::TReading reading) {
    const int scroll = ActiveView()->verticalScrollBar()->value();
    {
        UpdateBracket bracket(this);
        const bool reorder = reading.column != list->SortColumn() ||
                             reading.direction != list->SortDirection(list->SortColumn());
        list->Adopt(std::move(reading), enumOptions(), true);
        if (reorder) // the sort order changed while the folder was read
            list->Sort(list->SortColumn());
        display(list);
        ActiveView()->verticalScrollBar()->setValue(scroll);
    }
    emit OnShListChange(list);
}

} // namespace kelvora

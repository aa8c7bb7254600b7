#include "shell/ui/list_view.h"

#include "base/errors.h"
#include "shell/items/drag_object.h"
#include "shell/items/drive_ready.h"
#include "shell/notify/notify_filter.h"
#include "shell/notify/notify_thread.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/drag_scroll.h"
#include "shell/ui/drag_source.h"
#include "shell/ui/list_model.h"
#include "shell/ui/tree_view.h"
#include "shell/ui/view_drop.h"
#include "shell/items/xdg_dirs.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStackedLayout>
#include <algorithm>

namespace kelvora {

namespace {

std::string withDelimiter(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

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
      iconDelegate_(new TShListItemDelegate(this)), opener_(&DefaultShellOpener()),
      dialogs_(&DefaultDialogs()), drop_(std::make_unique<TShViewDrop>(this)),
      iconScroller_(new TShDragScroller(iconView_)),
      detailsScroller_(new TShDragScroller(detailsView_)) {
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(iconView_);
    stack_->addWidget(detailsView_);

    iconView_->setModel(model_);
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

    notify_ = std::make_unique<TShNotifyThread>(
        notifyFilter(), true,
        [this](TShNotifyThread*, const std::string& path, const std::vector<std::string>&) {
            foldersChanged(path);
        });
    notify_->SetWatchSubtree(false);
    notify_->setOnTerminate([this](TShThread*) { (void)notify_.release(); });
    notify_->resume();
    notify_->WaitReady();

    memoryFile_ = DefaultColumnMemoryFile();
    memory_.LoadFromFile(memoryFile_);
    TIDListPtr desktop(IDMakeEmpty());
    SetFolder(desktop.get());
}

TCustomVelShListView::~TCustomVelShListView() {
    destroying_ = true;
    drop_.reset(); // cancels the drops' operations and waits for them
    if (notify_) {
        notify_->setOnTerminate(nullptr);
        notify_->Stop();
        notify_.reset();
    }
    SaveColumnLayout();
    WriteColumnMemory();
    if (tree_ && tree_->listView_ == this)
        tree_->listView_ = nullptr;
    model_->SetList(nullptr);
}

std::string TCustomVelShListView::DefaultColumnMemoryFile() {
    const std::string exe =
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    if (exe.empty())
        return {};
    const std::size_t slash = exe.rfind('/');
    const std::size_t dot = exe.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? exe.substr(0, dot) : exe) + ".dat";
}

void TCustomVelShListView::SetColumnMemoryFile(const std::string& fileName) {
    memoryFile_ = fileName;
    memory_.Clear();
    memory_.LoadFromFile(memoryFile_);
    if (TVelShFileList* list = ShFileList())
        applyColumnLayout(list);
}

bool TCustomVelShListView::WriteColumnMemory() {
    return !memoryFile_.empty() && memory_.SaveToFile(memoryFile_);
}

// --- properties ---------------------------------------------------------------------

std::uint8_t TCustomVelShListView::notifyFilter() const {
    std::uint8_t filter = 0;
    if (contents_.contains(scFolders))
        filter |= kNotifyDirName;
    if (contents_.contains(scFiles))
        filter |= kNotifyFileName;
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
    if (notify_) {
        notify_->SetFilter(notifyFilter());
        notify_->WaitReady();
    }
}

void TCustomVelShListView::SetShVirtuaItems(TShVirtuaItems items) {
    if (items == virtuaItems_)
        return;
    virtuaItems_ = items;
    if (tree_)
        tree_->SetShVirtuaItems(items);
    dropCachedLists(false);
    if (TVelShFileList* list = ShFileList()) {
        enumerate(list, true);
        display(list);
        emit OnShListChange(list);
    }
}

TCustomVelShTreeView* TCustomVelShListView::ShTreeView() const {
    return tree_;
}

void TCustomVelShListView::SetShTreeView(TCustomVelShTreeView* tree) {
    if (tree == tree_)
        return;
    if (!tree) {
        if (tree_ && tree_->listView_ == this)
            tree_->listView_ = nullptr;
        tree_ = nullptr;
        return;
    }
    TCustomVelShTreeView::link(tree, this);
    tree->SetIncludeHidden(contents_.contains(scHidden));
    tree->SetShVirtuaItems(virtuaItems_);
    SetFolder(tree->SelectedID());
}

void TCustomVelShListView::configureViews() {
    const QFontMetrics fm(font());
    const int line = std::max(fm.height(), 16) + 4;
    QSize cell;
    // The view mode resets movement, flow and wrapping: it goes first.
    iconView_->setViewMode(viewStyle_ == vsIcon ? QListView::IconMode : QListView::ListMode);
    iconView_->setMovement(QListView::Static);
    switch (viewStyle_) {
    case vsIcon:
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setIconSize(QSize(32, 32));
        cell = QSize(std::max(100, fm.averageCharWidth() * 16), 40 + 2 * fm.height());
        break;
    case vsSmallIcon:
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setIconSize(QSize(16, 16));
        cell = QSize(std::max(160, fm.averageCharWidth() * 26), line);
        break;
    case vsList:
    case vsReport:
        iconView_->setFlow(QListView::TopToBottom);
        iconView_->setIconSize(QSize(16, 16));
        cell = QSize(std::max(180, fm.averageCharWidth() * 30), line);
        break;
    }
    iconDelegate_->SetIconsOnTop(viewStyle_ == vsIcon);
    iconDelegate_->SetCellSize(cell - QSize(4, 2));
    iconView_->setGridSize(cell);
    iconView_->setWordWrap(viewStyle_ == vsIcon);
    iconView_->setWrapping(true);
    iconView_->setTextElideMode(Qt::ElideRight);
    detailsView_->setIconSize(QSize(16, 16));
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
    if (columnsPending_) {
        columnsPending_ = false;
        rebuildColumns();
        applyColumnLayout(ShFileList());
    }
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
    if (!notify_)
        return {};
    std::vector<std::string> list = notify_->LockList();
    notify_->Unlock();
    return list;
}

// --- showing folders ---------------------------------------------------------------

void TCustomVelShListView::enumerate(TVelShFileList* list, bool keepSelection) {
    TShBusyCursor busy;
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
    list->Enumerate(options, keepSelection);
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
    updateSortIndicator();
}

void TCustomVelShListView::SetFolder(PCItemIDList id) {
    if (!id || destroying_)
        return;
    TVelShFileList* shown = ShFileList();
    if (shown && TVelShID::IDIsEqual(shown->FolderID(), id))
        return;
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
            if (folder.GetLevel() > 0 && !ShItemReady(folder)) {
                // No medium, a drive that does not answer, a folder that is gone:
                // the list stays where it was, and so does the tree.
                if (tree_ && shown)
                    tree_->SelectPath(shown->FolderID());
                return;
            }
            auto created = std::make_unique<TVelShFileList>(this, TVelShID::IDClone(id));
            list = created.get();
            if (const TVelShColumnInfos* infos = memory_.Find(list->FolderKey())) {
                list->SetSortColumn(infos->sortColumn);
                for (int c = 0; c < static_cast<int>(infos->columns.size()) &&
                                c < TVelShFileList::kDirectionCount;
                     ++c)
                    list->SetSortDirection(c,
                                           infos->columns[static_cast<std::size_t>(c)].direction);
            }
            enumerate(list, false);
            release(cache_.Insert(std::move(created)));
            display(list);
        }
        rebuildColumns();
        applyColumnLayout(list);
        watch(list);
    }
    emit OnShListChange(list);
    if (tree_) {
        tree_->SelectPath(list->FolderID());
        tree_->updatePriorityFolders();
    }
}

void TCustomVelShListView::RefreshList() {
    TVelShFileList* list = ShFileList();
    if (!list || destroying_)
        return;
    const int scroll = ActiveView()->verticalScrollBar()->value();
    {
        UpdateBracket bracket(this);
        enumerate(list, true);
        display(list);
        ActiveView()->verticalScrollBar()->setValue(scroll);
    }
    emit OnShListChange(list);
}

void TCustomVelShListView::rebuildColumns() {
    // Before the control has its size the widths would be a quarter of nothing.
    if (!isVisible()) {
        columnsPending_ = true;
        return;
    }
    QHeaderView* header = Header();
    const int width = std::max(this->width() / 4, header->minimumSectionSize());
    for (int c = 0; c < header->count(); ++c)
        header->resizeSection(c, width);
}

void TCustomVelShListView::applyColumnLayout(TVelShFileList* list) {
    const TVelShColumnInfos* infos = list ? memory_.Find(list->FolderKey()) : nullptr;
    QHeaderView* header = Header();
    const int count = header->count();
    if (!infos || count == 0)
        return;
    const int known = std::min(count, static_cast<int>(infos->columns.size()));
    for (int c = 0; c < known; ++c) {
        const int width = infos->columns[static_cast<std::size_t>(c)].width;
        if (width >= 0)
            header->resizeSection(c, std::min(width, 32767));
    }
    // The remembered order counts only when it places every column exactly once.
    if (known != count)
        return;
    std::vector<int> logicalAt(static_cast<std::size_t>(count), -1);
    for (int c = 0; c < count; ++c) {
        const int order = infos->columns[static_cast<std::size_t>(c)].order;
        if (order < 0 || order >= count || logicalAt[static_cast<std::size_t>(order)] >= 0)
            return;
        logicalAt[static_cast<std::size_t>(order)] = c;
    }
    for (int visual = 0; visual < count; ++visual)
        header->moveSection(header->visualIndex(logicalAt[static_cast<std::size_t>(visual)]),
                            visual);
}

void TCustomVelShListView::SaveColumnLayout() {
    TVelShFileList* list = ShFileList();
    QHeaderView* header = Header();
    if (!list || header->count() == 0)
        return;
    TVelShColumnInfos infos;
    infos.sortColumn = list->SortColumn();
    for (int c = 0; c < header->count(); ++c)
        infos.columns.push_back(
            {header->visualIndex(c), header->sectionSize(c), list->SortDirection(c)});
    memory_.Store(list->FolderKey(), std::move(infos));
}

void TCustomVelShListView::updateSortIndicator() {
    TVelShFileList* list = ShFileList();
    if (!list)
        return;
    const int column = list->SortColumn();
    Header()->setSortIndicator(column, list->SortDirection(column) < 0 ? Qt::DescendingOrder
                                                                       : Qt::AscendingOrder);
}

void TCustomVelShListView::headerClicked(int column) {
    TVelShFileList* list = ShFileList();
    if (!list || column < 0)
        return;
    TShBusyCursor busy;
    UpdateBracket bracket(this);
    list->SetSortDirection(column, -list->SortDirection(column));
    list->SetSortColumn(column);
    list->Sort(column);
    display(list);
}

// --- selection ------------------------------------------------------------------

void TCustomVelShListView::selectionChanged(const QItemSelection& selected,
                                            const QItemSelection& deselected) {
    TVelShFileList* list = ShFileList();
    if (!list)
        return;
    QItemSelectionModel* selectionModel = SelectionModel();
    // A row counts as selected while its first column is.
    const auto apply = [&](const QItemSelection& ranges, bool nowSelected) {
        for (const QItemSelectionRange& range : ranges) {
            for (int row = range.top(); row <= range.bottom(); ++row) {
                const bool isSelected =
                    nowSelected || selectionModel->isSelected(model_->index(row, 0));
                list->SetSelected(list->Items(row), isSelected);
            }
            TVelShFileData* item =
                range.top() == range.bottom() ? list->Items(range.top()) : nullptr;
            if (!displaying_)
                emit OnSelectItem(item, nowSelected);
        }
    };
    apply(deselected, false);
    apply(selected, true);
    if (!selected.isEmpty() || !deselected.isEmpty())
        emit OnShSelectionChange(list);
}

void TCustomVelShListView::currentChanged(const QModelIndex& current) {
    if (TVelShFileList* list = ShFileList(); list && current.isValid())
        list->SetFocused(list->Items(current.row()));
}

void TCustomVelShListView::SelectAll() {
    const int rows = model_->rowCount();
    if (rows == 0)
        return;
    SelectionModel()->select(
        QItemSelection(model_->index(0, 0), model_->index(rows - 1, model_->columnCount() - 1)),
        QItemSelectionModel::Select);
}

void TCustomVelShListView::ClearSelection() {
    SelectionModel()->clearSelection();
}

// --- opening rows ----------------------------------------------------------------

bool TCustomVelShListView::CanOpenFolder(TVelShFileData* item) {
    // Drives and folders in time; items without a path (virtual folders) always.
    bool canOpen = ShItemReady(*item);
    if (OnShListOpen)
        OnShListOpen(this, item, canOpen);
    return canOpen;
}

bool TCustomVelShListView::DoExecute(TVelShFileData* item, Qt::KeyboardModifiers shift) {
    bool defaultAction = true;
    if (OnShExecute) {
        const QPoint at = ActiveView()->viewport()->mapFromGlobal(QCursor::pos());
        OnShExecute(this, item, shift, -1, at.x(), at.y(), defaultAction);
    }
    return defaultAction;
}

void TCustomVelShListView::OpenRow(int row, Qt::KeyboardModifiers shift) {
    TVelShFileData* item = Items(row);
    if (!item || !item->IsValid())
        return;
    if (item->HasAttribute(SFGAO_FOLDER) && item->GetItemType() != itInterNet) {
        if (CanOpenFolder(item)) {
            TIDListPtr id(TVelShID::IDClone(item->GetAbsoluteID()));
            SetFolder(id.get());
        }
        return;
    }
    if (item->HasAttribute(SFGAO_LINK)) {
        bool canOpen = true;
        if (OnShListOpen)
            OnShListOpen(this, item, canOpen);
        if (canOpen) {
            PItemIDList target = nullptr;
            if (!item->ResolveLink(target))
                return; // a broken link opens nothing
            TIDListPtr owned(target);
            TVelShData resolved(TVelShID::IDClone(target));
            if (resolved.HasAttribute(SFGAO_FOLDER))
                SetFolder(target);
            else if (DoExecute(item, shift))
                item->Execute(*opener_);
            return;
        }
    }
    if (DoExecute(item, shift))
        item->Execute(*opener_);
}

// --- what the views pass on -----------------------------------------------------

void TCustomVelShListView::ViewMouseDown(bool down) {
    mouseDown_ = down;
    if (!down && refreshPending_) {
        refreshPending_ = false;
        RefreshList();
    }
    if (!down && !pendingChanges_.empty()) {
        std::vector<std::string> changes;
        changes.swap(pendingChanges_);
        for (const std::string& path : changes)
            foldersChanged(path);
    }
}

void TCustomVelShListView::ViewStartDrag(QAbstractItemView* view, const QPoint& press,
                                         const QPoint& at) {
    TVelShFileList* list = ShFileList();
    if (!list)
        return;
    std::vector<TVelShFileData*> rows = list->SelectedRows();
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end(),
              [](TVelShFileData* a, TVelShFileData* b) { return a->GetIndex() < b->GetIndex(); });
    TVelShIDList ids(true);
    ids.SetParentID(TVelShID::IDClone(list->FolderID()));
    for (TVelShFileData* row : rows)
        ids.Add(TVelShID::IDClone(row->GetRelativeID()));
    const Qt::DropActions actions = ShDragActions(ids);
    if (!actions)
        return;
    bool canDrag = true;
    if (OnShBeginDrag)
        OnShBeginDrag(this, ids, press, at.x(), at.y(), canDrag);
    if (!canDrag)
        return;
    ShRunDrag(view, ids, actions);
    // The drag took the button's release.
    ViewMouseDown(false);
}

void TCustomVelShListView::ViewKeyboardSearch(const QString& text) {
    TVelShFileList* list = ShFileList();
    if (text.isEmpty() || !list) {
        search_.clear();
        return;
    }
    if (!searchTimer_.isValid() || searchTimer_.elapsed() > QApplication::keyboardInputInterval())
        search_.clear();
    searchTimer_.restart();
    search_ += text;
    QItemSelectionModel* selectionModel = SelectionModel();
    const int current =
        selectionModel->currentIndex().isValid() ? selectionModel->currentIndex().row() : 0;
    // A new search starts after the focused row; a longer one may stay on it.
    const int start = search_.size() == text.size() ? current + 1 : current;
    const int row = list->FindCaption(search_, start >= list->Count() ? 0 : start, true);
    if (row < 0)
        return;
    const QModelIndex index = model_->index(row, 0);
    selectionModel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
    ActiveView()->scrollTo(index);
}

// --- change notification --------------------------------------------------------

void TCustomVelShListView::watch(TVelShFileList* list) {
    const std::string& path = list->Path();
    if (!notify_ || path.empty())
        return;
    if (suspended_ > 0) {
        savedWatches_.push_back(withDelimiter(path));
        return;
    }
    try {
        notify_->AddFolder(path);
        notify_->WaitReady();
    } catch (const EShNotifyError&) {
        // Over the watch limit: this folder is simply not kept current.
    }
}

void TCustomVelShListView::unwatch(TVelShFileList* list) {
    const std::string& path = list->Path();
    if (!notify_ || path.empty())
        return;
    // Another cached list may show the same folder under another ID.
    for (int i = 0; i < cache_.Count(); ++i) {
        if (cache_.Items(i) != list && cache_.Items(i)->Path() == path)
            return;
    }
    if (suspended_ > 0) {
        std::erase(savedWatches_, withDelimiter(path));
        return;
    }
    notify_->RemoveFolder(path);
    notify_->WaitReady();
}

void TCustomVelShListView::release(std::vector<std::unique_ptr<TVelShFileList>> lists) {
    for (auto& list : lists)
        unwatch(list.get());
}

void TCustomVelShListView::dropCachedLists(bool onlyVanished) {
    TVelShFileList* shown = ShFileList();
    if (!onlyVanished) {
        release(cache_.TakeAllBut(shown));
        return;
    }
    for (int i = cache_.Count() - 1; i >= 0; --i) {
        TVelShFileList* list = cache_.Items(i);
        if (list != shown && !list->Path().empty() && !ShFolderReady(list->Path())) {
            std::vector<std::unique_ptr<TVelShFileList>> gone;
            gone.push_back(cache_.Take(i));
            release(std::move(gone));
        }
    }
}

void TCustomVelShListView::SuspendNotify(bool withLinked) {
    if (suspended_++ == 0 && notify_) {
        savedWatches_ = notify_->LockList();
        notify_->Unlock();
        notify_->SetFolders(nullptr);
        notify_->WaitReady();
    }
    if (withLinked && tree_)
        tree_->SuspendNotify(false);
}

void TCustomVelShListView::ResumeNotify(bool withLinked) {
    if (suspended_ > 0 && --suspended_ == 0 && notify_) {
        std::vector<std::string> folders;
        savedWatches_.swap(folders);
        std::sort(folders.begin(), folders.end());
        folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
        if (folders.size() >= static_cast<std::size_t>(TShNotifyThread::kMaxFolders))
            folders.resize(TShNotifyThread::kMaxFolders - 1);
        notify_->SetFolders(folders);
        notify_->WaitReady();
    }
    if (withLinked && tree_)
        tree_->ResumeNotify(false);
}

void TCustomVelShListView::foldersChanged(const std::string& path) {
    if (destroying_)
        return;
    if (mouseDown_) {
        // Taken up when the button is released, so that no change is lost.
        if (std::find(pendingChanges_.begin(), pendingChanges_.end(), path) ==
            pendingChanges_.end())
            pendingChanges_.push_back(path);
        return;
    }
    TVelShFileList* shown = ShFileList();
    dropCachedLists(false);
    if (!shown || shown->Path().empty() || path != withDelimiter(shown->Path()))
        return;
    if (ShFolderReady(shown->Path())) {
        RefreshList();
    } else {
        showExistingAncestor(shown);
        dropCachedLists(true);
    }
}

void TCustomVelShListView::showExistingAncestor(TVelShFileList* list) {
    TIDListPtr id(TVelShID::IDClone(list->FolderID()));
    while (id && TVelShID::IDCount(id.get()) > 0) {
        id.reset(TVelShID::IDCopyParent(id.get()));
        std::string path;
        if (id && TVelShID::IDGetPath(id.get(), path) && ShFolderReady(path))
            break;
    }
    if (!id)
        id.reset(IDMakeEmpty());
    SetFolder(id.get());
}

} // namespace kelvora

#pragma once
// TVelShListView: the contents of one folder of the shell namespace, in four
// view styles, linked to a folder tree (TVelShTreeView) that it follows and
// that follows it.
//
// Design
// - Virtual: the model holds only the folder's row count; a row's caption,
//   icon and detail texts are computed when a view first draws them and kept in
//   the row (TVelShFileData). Large icons, small icons and the list style are
//   one QListView in three layouts, the details a QTreeView with the columns;
//   both share the model and the selection, so a style change keeps the rows,
//   the selection and the focused row.
// - Cache: the lists of the last 31 folders shown stay in memory, most recent
//   first, each with its rows' selection and focus, so going back to a folder
//   needs no enumeration and finds its selection as it was left.
// - Column memory: per folder the sort column and each column's order, width
//   and direction, written at destruction to a file named like the program with
//   the extension ".dat", beside it, and read at construction.
// - Sorting: a click on a column header reverses that column's direction (so
//   the first click sorts descending) and sorts by it; the column becomes the
//   folder's sort column, kept when the folder is read again and remembered.
// - Opening a row (double-click, Enter): folders are shown, links resolved,
//   anything else opened with the desktop's associated application.
// - Drags out of the list carry the selected rows' drag data. Items dragged over
//   a row that takes drops (a folder, the trash) go into it, the row drawn as
//   selected; elsewhere they go into the shown folder. A drop copies, moves,
//   links or trashes on worker threads (view_drop.h); when an operation ends,
//   the list and the linked tree are read again.
// - Label editing (F2, or a second slow click on a selected row) renames the
//   item in its folder; the row keeps its selection and moves to its place in
//   the order. A refused name is shown with its reason and the name goes back.
//   ReadOnly turns editing off.
// - Thumbnails: with a producer set, the large-icon style shows picture files
//   as thumbnails made on worker threads (list_thumbnails.h); without one, and
//   in the other styles, rows show their type icons.
// - A drive, or a folder, is shown or opened only when it answers within the
//   time limit (drive_ready.h): a hung network drive never holds the window up
//   for longer, and the list stays where it was.
//
// Files: list_view.cpp the control (SetFolder, RefreshList, showing the rows);
// list_styles.* the view styles' layouts; list_columns.* the columns and their
// memory; list_watcher.* the cache's change notification; list_view_input.cpp
// selection, opening rows, drags out and type-ahead (type_ahead.*);
// list_view_drop.cpp drops; list_view_edit.cpp label editing; list_thumbnails.*
// and thumbnail_*.* the thumbnails. The linked tree is
// reached through a TVelShViewLink.
//
// Threads: a TShNotifyThread (list_watcher.h) watches the folder of every cached
// list and, 1500 ms after a change, hands it to the GUI thread: the shown
// folder is read again (its selection kept), or, when it was deleted, its
// nearest existing ancestor is shown. Nothing waits for the thread, nor for a
// drive asked whether it answers: a folder on a drive still being asked about
// is shown once the answer is in. The thread is stopped first in the
// destructor. Thumbnails are made on their loader's workers, which are
// cancelled when another folder is shown and joined in the destructor.
// Everything else runs on the GUI thread.
#include "base/shell_opener.h"
#include "shell/items/column_memory.h"
#include "shell/items/drag_object.h"
#include "shell/items/file_list.h"
#include "shell/items/id_list_list.h"
#include "shell/ops/drop_target.h"
#include "shell/ui/list_columns.h"
#include "shell/ui/list_model.h"
#include "shell/ui/list_parts.h"
#include "shell/ui/list_styles.h"
#include "shell/ui/thumbnail_loader.h"
#include "shell/ui/type_ahead.h"
#include "ui/dialogs.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QHeaderView;
class QItemSelection;
class QItemSelectionModel;
class QStackedLayout;

namespace kelvora {

class TCustomVelShTreeView;
class TShDragScroller;
class TShListThumbnails;
class TShNotifyThread;
class TShViewDrop;
class TVelShListReader;
class TVelShListWatcher;
class TVelShViewLink;

class TCustomVelShListView : public QWidget, private TShListViewHost {
    Q_OBJECT
public:
    explicit TCustomVelShListView(QWidget* parent = nullptr);
    ~TCustomVelShListView() override;

    // --- Published properties ---
    // What is listed: folders, files, hidden items (default all three).
    TShContentsSet ShContents() const { return contents_; }
    void SetShContents(TShContentsSet contents);
    // Which virtual items are shown; kept equal to the linked tree's.
    TShVirtuaItems ShVirtuaItems() const { return virtuaItems_; }
    void SetShVirtuaItems(TShVirtuaItems items);
    // The linked tree; it is linked back to this list.
    TCustomVelShTreeView* ShTreeView() const;
    void SetShTreeView(TCustomVelShTreeView* tree);
    TViewStyle ViewStyle() const { return viewStyle_; }
    void SetViewStyle(TViewStyle style);
    // What makes the large-icon style's thumbnails (called on worker threads);
    // null (the default): type icons only.
    void SetThumbnailProducer(TThumbnailProducer producer);
    // What opens rows that are not folders.
    void SetShellOpener(TShellOpener& opener) { opener_ = &opener; }
    // Whether shell items may be dropped onto the list (default true).
    bool AcceptsDrops() const { return acceptsDrops_; }
    void SetAcceptsDrops(bool value);
    // No label editing (default false).
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    // Where messages go (a refused name, a drop that cannot start); default the
    // program's dialogs.
    void SetDialogs(TDialogs& dialogs);
    // What is shown while dropped items are copied or moved; null (the default):
    // the program's dialogs over the list's window. It must outlive the list.
    void SetOperationUi(TShOperationUi* ui);
    // The column memory file; setting it reads that file instead.
    const std::string& ColumnMemoryFile() const { return columns_.File(); }
    void SetColumnMemoryFile(const std::string& fileName);
    // The program's file name with the extension ".dat".
    static std::string DefaultColumnMemoryFile();

    // --- Events (Accept, CanOpen, DefaultAction, CanDrag are true on entry) ---
    // Before each enumerated item becomes a row.
    std::function<void(TCustomVelShListView* sender, TVelShData* data, bool& accept)> OnShFilter;
    // Before a folder row (or a link) is opened.
    std::function<void(TCustomVelShListView* sender, TVelShFileData* item, bool& canOpen)>
        OnShListOpen;
    // Before a row is opened with the desktop's associated application.
    std::function<void(TCustomVelShListView* sender, TVelShFileData* item,
                       Qt::KeyboardModifiers shift, int subItem, int x, int y, bool& defaultAction)>
        OnShExecute;
    // When a drag of the selected rows would start; pt is the press point.
    std::function<void(TCustomVelShListView* sender, TVelShIDList& idList, const QPoint& pt, int x,
                       int y, bool& canDrag)>
        OnShBeginDrag;
    // A drag of shell items enters; pt in the view's viewport.
    std::function<void(TCustomVelShListView* sender, TVelShDragObject& dragObject,
                       Qt::KeyboardModifiers shift, const QPoint& pt, bool& accept)>
        OnShDragEnter;
    // Each movement of the drag; item is the row that would take the drop, null
    // for the shown folder.
    std::function<void(TCustomVelShListView* sender, TVelShDragObject& dragObject,
                       TVelShFileData* item, Qt::KeyboardModifiers shift, int x, int y)>
        OnShDragOver;
    // A drop; with defaultAction cleared the list does nothing with it.
    std::function<void(TCustomVelShListView* sender, TVelShDragObject& dragObject,
                       TVelShFileData* item, Qt::KeyboardModifiers shift, int x, int y,
                       bool& defaultAction)>
        OnShDragDrop;
    std::function<void(TCustomVelShListView* sender)> OnShDragLeave;

    // --- Operations ---
    // Shows a folder (a copy of id is kept). Nothing happens for null or the
    // folder already shown; a drive that is not ready is not shown.
    void SetFolder(PCItemIDList id);
    // Reads the shown folder again; the selection of items still there stays.
    void RefreshList();
    // Counted: the first suspend stops watching until the matching resume;
    // folders shown meanwhile are watched from then on.
    void SuspendNotify(bool withLinked = false);
    void ResumeNotify(bool withLinked = false);
    void SelectAll();
    void ClearSelection();
    // Opens a row as a double-click does.
    void OpenRow(int row, Qt::KeyboardModifiers shift = Qt::NoModifier);
    // Keeps the shown folder's column layout in the column memory.
    void SaveColumnLayout();
    // Writes the column memory file; false when it cannot be written.
    bool WriteColumnMemory();

    // --- What the main window reads ---
    int ItemsCount() const;
    // The focused row, or null.
    TVelShFileData* ItemFocused() const;
    TVelShFileData* Items(int row) const;
    // The shown folder's list, or null.
    TVelShFileList* ShFileList() const;
    const TVelShFileLists& Cache() const { return cache_; }
    TVelShColumnList& ColumnMemory() { return columns_.Memory(); }
    TVelShListModel* ShModel() const { return model_; }
    TShListThumbnails* Thumbnails() const { return thumbnails_.get(); }
    QItemSelectionModel* SelectionModel() const;
    QAbstractItemView* ActiveView() const;
    QListView* IconView() const { return iconView_; }
    QTreeView* DetailsView() const { return detailsView_; }
    QHeaderView* Header() const;
    // The folders the notification thread watches now (each ending in "/").
    std::vector<std::string> WatchedFolders() const;
    // The thread that watches them (null once it has ended).
    TShNotifyThread* NotifyThread() const;
    // The link to the tree (null when none); TVelShViewLink::Join sets it.
    std::shared_ptr<TVelShViewLink> ViewLink() const { return link_; }
    void AttachLink(std::shared_ptr<TVelShViewLink> link);

signals:
    // The shown folder's list was shown or filled again.
    void OnShListChange(TVelShFileList* list);
    // The selected rows of the shown list changed; the list has their total size.
    void OnShSelectionChange(TVelShFileList* list);
    // The clipboard changed; contented: it holds shell items.
    void OnShClipboard(bool contented);
    // A row's selected state changed; item is null when several rows changed at once.
    // Also once whenever the rows are shown anew (another folder, the folder read
    // again, sorted): then item is the focused row, or null, and selected its state.
    void OnSelectItem(TVelShFileData* item, bool selected);
    // An operation started by a drop onto the list has ended.
    void OnShOperationFinished(const kelvora::TShOperationResult& result);

protected:
    // Whether a folder row may be shown: a drive root when it is ready, a
    // file-system folder when it still exists; then OnShListOpen decides.
    virtual bool CanOpenFolder(TVelShFileData* item);
    virtual bool DoExecute(TVelShFileData* item, Qt::KeyboardModifiers shift);
    void showEvent(QShowEvent* event) override;

private:
    // TShListViewHost
    void ViewMouseDown(bool down) override;
    void ViewStartDrag(QAbstractItemView* view, const QPoint& press, const QPoint& at) override;
    void ViewKeyboardSearch(const QString& text) override;
    bool ViewCanEdit(const QModelIndex& index) override;
    void ViewDragEnter(QAbstractItemView* view, QDragEnterEvent* event) override;
    void ViewDragMove(QAbstractItemView* view, QDragMoveEvent* event) override;
    void ViewDragLeave(QAbstractItemView* view) override;
    void ViewDrop(QAbstractItemView* view, QDropEvent* event) override;

    TCustomVelShTreeView* linkedTree() const;
    // The row a drop at pos would go into, or null for the shown folder.
    TVelShFileData* dropRowAt(QAbstractItemView* view, const QPoint& pos) const;
    TShDragScroller* scrollerOf(QAbstractItemView* view) const;
    void endDrag();
    void operationFinished(const TShOperationResult& result);
    // After an operation: read again now, or when the button is released.
    void refreshAfterOperation();
    bool renameRow(TVelShFileData* row, const QString& text);

    TVelShFileList::TEnumOptions enumOptions();
    void enumerate(TVelShFileList* list, bool keepSelection);
    // Makes a reading of the shown folder its rows, keeping the selection, the
    // focused row and the scroll position.
    void showReading(TVelShFileList* list, TVelShFileList::TReading reading);
    void readingArrived(TVelShFileList* list, TVelShFileList::TReading reading);
    // Shows the list's rows with their selection and focus, then reports the
    // selection once (OnSelectItem).
    void display(TVelShFileList* list);
    void showRows(TVelShFileList* list);
    void headerClicked(int column);
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void currentChanged(const QModelIndex& current);
    void foldersChanged(const std::string& path);
    void showExistingAncestor(TVelShFileList* list);
    void dropCachedLists(bool onlyVanished);
    // A folder asked for while its drive was being asked whether it answers.
    void answered();
    std::uint8_t notifyFilter() const;
    void configureViews();

    TVelShListModel* model_;
    QStackedLayout* stack_;
    TShListIconView* iconView_;
    TShListDetailsView* detailsView_;
    TShListItemDelegate* iconDelegate_;
    std::unique_ptr<TShListThumbnails> thumbnails_;
    std::shared_ptr<TVelShViewLink> link_;
    TShellOpener* opener_;
    TVelShFileLists cache_;
    TVelShListColumns columns_;
    std::unique_ptr<TVelShListWatcher> watcher_;
    TVelShListReader* reader_;
    TDialogs* dialogs_;
    std::unique_ptr<TShViewDrop> drop_;
    TShDragScroller* iconScroller_;
    TShDragScroller* detailsScroller_;
    TShTypeAhead typeAhead_;
    TIDListPtr asked_;                    // a folder waiting for its drive's answer
    TVelShFileList* askedFrom_ = nullptr; // the list shown when it was asked for
    TShContentsSet contents_ = TShContentsSet::defaults();
    TShVirtuaItems virtuaItems_ = TShVirtuaItems::defaults();
    TViewStyle viewStyle_ = vsIcon;
    bool mouseDown_ = false;
    bool refreshPending_ = false; // an operation ended while a button was down
    bool readPending_ = false;    // a reading came while a button was down
    bool acceptsDrops_ = true;
    bool readOnly_ = false;
    bool destroying_ = false;
    bool displaying_ = false; // rows being shown: their selection is reported after
};

class TVelShListView final : public TCustomVelShListView {
public:
    using TCustomVelShListView::TCustomVelShListView;
};

} // namespace kelvora

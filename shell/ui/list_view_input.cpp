// The file list's input: the selection as the user changes it, opening rows
// (double-click, Enter), drags out of the list, type-ahead and header clicks.
#include "shell/items/drive_ready.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/drag_source.h"
#include "shell/ui/item_opener.h"
#include "shell/ui/list_reader.h"
#include "shell/ui/list_view.h"
#include "shell/ui/list_watcher.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace kelvora {

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
    // Drives and folders that answer; items without a path (virtual folders)
    // always. One still being asked about is not opened now.
    bool canOpen = ShItemReadiness(*item) == TShReadiness::Ready;
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
    const auto linkOpen = [&] {
        bool canOpen = true;
        if (OnShListOpen)
            OnShListOpen(this, item, canOpen);
        return canOpen;
    };
    ShOpenItem(*item, *opener_,
               {linkOpen, [&] { return DoExecute(item, shift); },
                [&](PCItemIDList folder) { SetFolder(folder); }});
}

// --- what the views pass on -----------------------------------------------------

void TCustomVelShListView::ViewMouseDown(bool down) {
    mouseDown_ = down;
    if (!down && refreshPending_) {
        refreshPending_ = false;
        readPending_ = false;
        RefreshList();
    }
    if (!down && readPending_) {
        readPending_ = false;
        if (TVelShFileList* list = ShFileList())
            reader_->Read(list, enumOptions().flags);
    }
    watcher_->Hold(down);
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
    const QModelIndex focused = SelectionModel()->currentIndex();
    const int row = typeAhead_.Type(ShFileList(), text, focused.isValid() ? focused.row() : -1);
    if (row < 0)
        return;
    const QModelIndex index = model_->index(row, 0);
    SelectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    ActiveView()->scrollTo(index);
}

void TCustomVelShListView::headerClicked(int column) {
    TVelShFileList* list = ShFileList();
    if (!list || column < 0)
        return;
    TShBusyCursor busy;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    list->SetSortDirection(column, -list->SortDirection(column));
    list->SetSortColumn(column);
    list->Sort(column);
    display(list);
    setUpdatesEnabled(updates);
}

} // namespace kelvora

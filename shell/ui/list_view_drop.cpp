// The file list as a drop target.
#include "shell/ui/drag_scroll.h"
#include "shell/ui/list_model.h"
#include "shell/ui/list_view.h"
#include "shell/ui/view_drop.h"
#include "shell/ui/view_link.h"

namespace kelvora {

void TCustomVelShListView::SetAcceptsDrops(bool value) {
    acceptsDrops_ = value;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(detailsView_)}) {
        view->setDragDropMode(value ? QAbstractItemView::DragDrop : QAbstractItemView::DragOnly);
        view->viewport()->setAcceptDrops(value);
    }
}

void TCustomVelShListView::SetDialogs(TDialogs& dialogs) {
    dialogs_ = &dialogs;
    drop_->SetDialogs(dialogs);
}

void TCustomVelShListView::SetOperationUi(TShOperationUi* ui) {
    drop_->SetOperationUi(ui);
}

TShDragScroller* TCustomVelShListView::scrollerOf(QAbstractItemView* view) const {
    return view == detailsView_ ? detailsScroller_ : iconScroller_;
}

TVelShFileData* TCustomVelShListView::dropRowAt(QAbstractItemView* view, const QPoint& pos) const {
    QModelIndex index = view->indexAt(pos);
    if (!index.isValid() && view == iconView_)
        index = view->indexAt(pos - QPoint(0, 2)); // the gap above a caption
    TVelShFileData* row = model_->RowData(index);
    if (!row || !row->HasAttribute(SFGAO_DROPTARGET))
        return nullptr;
    // A dragged item is no target of its own drop: the shown folder is.
    std::string path;
    return row->GetPath(path) && drop_->IsDragged(path) ? nullptr : row;
}

void TCustomVelShListView::ViewDragEnter(QAbstractItemView* view, QDragEnterEvent* event) {
    const bool open = acceptsDrops_ && !destroying_ && ShFileList();
    if (!drop_->EnterEvent(event, open, [&](TVelShDragObject& drag, bool& accept) {
            if (OnShDragEnter)
                OnShDragEnter(this, drag, event->modifiers(), event->position().toPoint(), accept);
        }))
        return;
    ViewDragMove(view, event);
    event->accept();
}

void TCustomVelShListView::ViewDragMove(QAbstractItemView* view, QDragMoveEvent* event) {
    TVelShFileList* list = ShFileList();
    if (!drop_->DragObject() || !list) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    scrollerOf(view)->Moved(pos);
    TVelShFileData* row = dropRowAt(view, pos);
    model_->SetDropRow(row ? row->GetIndex() : -1);
    const PCItemIDList target = row ? row->GetAbsoluteID() : list->FolderID();
    const TShDropEffect effect = drop_->Over(target, event->modifiers(), event->possibleActions());
    if (OnShDragOver)
        OnShDragOver(this, *drop_->DragObject(), row, event->modifiers(), pos.x(), pos.y());
    ShAnswerDrag(event, effect);
}

void TCustomVelShListView::ViewDragLeave(QAbstractItemView*) {
    if (drop_->DragObject() && OnShDragLeave)
        OnShDragLeave(this);
    endDrag();
}

void TCustomVelShListView::ViewDrop(QAbstractItemView* view, QDropEvent* event) {
    TVelShFileList* list = ShFileList();
    const QPoint pos = event->position().toPoint();
    TVelShFileData* row = list ? dropRowAt(view, pos) : nullptr;
    const TShViewDrop::TDropped dropped = drop_->DropEvent(
        event, list != nullptr,
        [&](TVelShDragObject& drag, bool& defaultAction) {
            if (OnShDragDrop)
                OnShDragDrop(this, drag, row, event->modifiers(), pos.x(), pos.y(), defaultAction);
        },
        [&] { return row ? row->GetAbsoluteID() : list->FolderID(); });
    endDrag();
    ShAnswerDrop(event, dropped);
}

void TCustomVelShListView::endDrag() {
    drop_->Leave();
    iconScroller_->Stop();
    detailsScroller_->Stop();
    model_->SetDropRow(-1);
}

void TCustomVelShListView::refreshAfterOperation() {
    if (mouseDown_)
        refreshPending_ = true; // taken up when the button is released
    else
        RefreshList();
}

void TCustomVelShListView::operationFinished(const TShOperationResult& result) {
    if (destroying_)
        return;
    ShOperationEnded(link_.get(), [this] { refreshAfterOperation(); });
    emit OnShOperationFinished(result);
}

} // namespace kelvora

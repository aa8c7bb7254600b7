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
    if (!acceptsDrops_ || destroying_ || !ShFileList() || !drop_->Enter(event->mimeData())) {
        event->ignore();
        return;
    }
    bool accept = true;
    if (OnShDragEnter)
        OnShDragEnter(this, *drop_->DragObject(), event->modifiers(), event->position().toPoint(),
                      accept);
    if (!accept) {
        drop_->Leave();
        event->ignore();
        return;
    }
    ViewDragMove(view, event);
    event->accept(); // the movements follow, whatever this point takes
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
    TShDropEffect effect = TShDropEffect::None;
    bool takenOver = false;
    if (drop_->DragObject() && list) {
        const QPoint pos = event->position().toPoint();
        TVelShFileData* row = dropRowAt(view, pos);
        bool defaultAction = true;
        if (OnShDragDrop)
            OnShDragDrop(this, *drop_->DragObject(), row, event->modifiers(), pos.x(), pos.y(),
                         defaultAction);
        takenOver = !defaultAction;
        if (defaultAction) {
            // The drop may ask the user; the list may be read again meanwhile.
            const TIDListPtr target(
                TVelShID::IDClone(row ? row->GetAbsoluteID() : list->FolderID()));
            effect = drop_->Drop(event->mimeData(), target.get(), event->modifiers(),
                                 event->possibleActions());
        }
    }
    endDrag();
    if (takenOver) {
        event->acceptProposedAction();
        return;
    }
    ShAnswerDrag(event, effect);
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
    // The folders the operation changed may be watched by no one (another drive,
    // the trash), or only later: both controls are read again now.
    if (link_)
        emit link_->OperationFinished();
    else
        refreshAfterOperation();
    emit OnShOperationFinished(result);
}

} // namespace kelvora

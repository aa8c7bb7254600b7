// The folder tree as a drop target.
#include "shell/items/drive_ready.h"
#include "shell/ui/drag_scroll.h"
#include "shell/ui/tree_view.h"
#include "shell/ui/view_drop.h"
#include "shell/ui/view_link.h"

#include <QDragEnterEvent>
#include <QDropEvent>

namespace kelvora {

void TCustomVelShTreeView::SetAcceptsDrops(bool value) {
    acceptsDrops_ = value;
    setAcceptDrops(value);
    viewport()->setAcceptDrops(value);
}

void TCustomVelShTreeView::SetDialogs(TDialogs& dialogs) {
    dialogs_ = &dialogs;
    drop_->SetDialogs(dialogs);
}

void TCustomVelShTreeView::SetOperationUi(TShOperationUi* ui) {
    drop_->SetOperationUi(ui);
}

void TCustomVelShTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (!drop_->EnterEvent(event, acceptsDrops_ && !destroying_,
                           [&](TVelShDragObject& drag, bool& accept) {
                               if (OnShDragEnter)
                                   OnShDragEnter(this, drag, event->modifiers(),
                                                 event->position().toPoint(), accept);
                           }))
        return;
    slowEditTimer_.stop();
    mouseState_ = TShMouseState::Dragging;
    dragMoved(event);
    event->accept();
}

void TCustomVelShTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (!drop_->DragObject()) {
        event->ignore();
        return;
    }
    dragMoved(event);
}

void TCustomVelShTreeView::dragMoved(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    scroller_->Moved(pos);
    const QModelIndex index = indexAt(pos);
    TVelShTreeNode* node = model_->NodeOf(index);
    setHighlight(index);
    if (index != QModelIndex(hovered_)) {
        hovered_ = index;
        hoverMoves_ = 0;
    } else if (node && ++hoverMoves_ > kHoverExpandMoves) {
        hoverMoves_ = 0;
        hoverExpand(node);
    }
    const TShDropEffect effect = node && node->IsValid()
                                     ? drop_->Over(node->Data()->GetAbsoluteID(),
                                                   event->modifiers(), event->possibleActions())
                                     : TShDropEffect::None;
    if (OnShDragOver)
        OnShDragOver(this, *drop_->DragObject(), node, event->modifiers(), pos.x(), pos.y());
    ShAnswerDrag(event, effect);
}

void TCustomVelShTreeView::hoverExpand(TVelShTreeNode* node) {
    const QModelIndex index = IndexOf(node);
    if (!node->IsValid() || isExpanded(index) || !model_->hasChildren(index))
        return;
    // Deep virtual folders, and drives that do not answer, stay closed.
    const TShItemIDType type = node->Data()->GetItemType();
    if (node->Level() > 1 &&
        (type == itVirtual ||
         (type == itRootDrive && ShItemReadiness(*node->Data()) != TShReadiness::Ready)))
        return;
    expand(index);
}

void TCustomVelShTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    if (drop_->DragObject() && OnShDragLeave)
        OnShDragLeave(this);
    endDrag();
    event->accept();
}

void TCustomVelShTreeView::dropEvent(QDropEvent* event) {
    const QPoint pos = event->position().toPoint();
    TVelShTreeNode* node = model_->NodeOf(indexAt(pos));
    const TShViewDrop::TDropped dropped = drop_->DropEvent(
        event, true,
        [&](TVelShDragObject& drag, bool& defaultAction) {
            if (OnShDragDrop)
                OnShDragDrop(this, drag, node, event->modifiers(), pos.x(), pos.y(), defaultAction);
        },
        [&]() -> PCItemIDList {
            return node && node->IsValid() ? node->Data()->GetAbsoluteID() : nullptr;
        });
    endDrag();
    ShAnswerDrop(event, dropped);
}

void TCustomVelShTreeView::endDrag() {
    drop_->Leave();
    scroller_->Stop();
    setHighlight({});
    hovered_ = QPersistentModelIndex();
    hoverMoves_ = 0;
    if (mouseState_ == TShMouseState::Dragging)
        mouseState_ = TShMouseState::Idle;
    runPendingRefresh();
}

void TCustomVelShTreeView::operationFinished(const TShOperationResult& result) {
    if (destroying_)
        return;
    ShOperationEnded(link_.get(), [this] { refreshAfterOperation(); });
    emit OnShOperationFinished(result);
}

} // namespace kelvora

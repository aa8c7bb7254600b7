#include "app/collected_list_view.h"

#include "app/collected_list.h"
#include "app/picture_collector.h"
#include "shell/items/drag_object.h"

#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <algorithm>

namespace kelvora {

TCollectedListView::TCollectedListView(TCollectedList& list, QWidget* parent)
    : QListView(parent), list_(list) {
    setModel(&list_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
}

std::vector<int> TCollectedListView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TCollectedListView::DropRowAt(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return list_.Count();
    const QRect rect = visualRect(index);
    return pos.y() > rect.center().y() ? index.row() + 1 : index.row();
}

void TCollectedListView::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() == Qt::ControlModifier;
    if (ctrl && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        const QModelIndex current = currentIndex();
        list_.MoveStep(SelectedRows(), event->key() == Qt::Key_Up ? -1 : 1);
        // The current entry moved with its row; keep it visible.
        if (current.isValid())
            scrollTo(currentIndex());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TCollectedListView::startDrag(Qt::DropActions) {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(list_.mimeData(rows));
    // The drop inside the list has moved the entries by the time exec returns; nothing
    // is removed here whatever action comes back.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

Qt::DropAction TCollectedListView::actionFor(const QMimeData* mime, Qt::DropActions offered) const {
    if (list_.DraggedRows(mime))
        return Qt::MoveAction;
    if (!mime || !mime->hasFormat(QString::fromLatin1(kUriListMime)))
        return Qt::IgnoreAction;
    if (offered & Qt::CopyAction)
        return Qt::CopyAction;
    if (offered & Qt::LinkAction)
        return Qt::LinkAction;
    return Qt::IgnoreAction; // a source that only moves would delete its files
}

void TCollectedListView::dragEnterEvent(QDragEnterEvent* event) {
    const Qt::DropAction action = actionFor(event->mimeData(), event->possibleActions());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    QListView::dragEnterEvent(event); // starts the auto-scroll and the drop indicator
    event->setDropAction(action);
    event->accept();
}

void TCollectedListView::dragMoveEvent(QDragMoveEvent* event) {
    const Qt::DropAction action = actionFor(event->mimeData(), event->possibleActions());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    QListView::dragMoveEvent(event);
    event->setDropAction(action);
    event->accept();
}

void TCollectedListView::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    const Qt::DropAction action = actionFor(mime, event->possibleActions());
    const int row = DropRowAt(event->position().toPoint());
    // The drag is over: the auto-scroll and the drop indicator stop as on leaving.
    QDragLeaveEvent leave;
    QListView::dragLeaveEvent(&leave);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
    if (const std::optional<std::vector<int>> rows = list_.DraggedRows(mime)) {
        // The selection (the dragged entries) moves with them.
        list_.MoveRows(*rows, row);
        return;
    }
    const std::vector<std::string> paths =
        ShDecodeUriList(mime->data(QString::fromLatin1(kUriListMime)));
    // The selection stays: selecting the new entries would preview one of them, and a
    // picture that cannot be shown would answer the drop with an error.
    list_.Insert(TPictureCollector::PathsToAdd(paths, list_), row);
}

} // namespace kelvora

#include "shell/ui/drag_source.h"

#include <QDrag>
#include <QMimeData>
#include <QWidget>

namespace kelvora {

Qt::DropActions ShDragActions(const TVelShIDList& ids) {
    std::uint32_t attributes = 0;
    Qt::DropActions actions;
    if (!ids.GetAttributes(attributes))
        return actions;
    if (attributes & SFGAO_CANCOPY)
        actions |= Qt::CopyAction;
    if (attributes & SFGAO_CANMOVE)
        actions |= Qt::MoveAction;
    if (attributes & SFGAO_CANLINK)
        actions |= Qt::LinkAction;
    return actions;
}

Qt::DropAction ShRunDrag(QWidget* source, const TVelShIDList& ids, Qt::DropActions actions) {
    auto* drag = new QDrag(source);
    drag->setMimeData(ids.CreateDragData());
    return drag->exec(actions, (actions & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction);
}

} // namespace kelvora

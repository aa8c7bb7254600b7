#pragma once
// Dragging shell items out of the tree or the list: which effects the items
// allow (copy, move, link, from their shared capabilities) and the drag itself,
// carrying their drag data (the ID-list array and file URLs).
#include "shell/items/id_list_list.h"

#include <Qt>

class QWidget;

namespace kelvora {

// The effects every item of ids allows; none when it cannot be told.
Qt::DropActions ShDragActions(const TVelShIDList& ids);
// Runs a drag of ids from source (it returns when the drag has ended).
Qt::DropAction ShRunDrag(QWidget* source, const TVelShIDList& ids, Qt::DropActions actions);

} // namespace kelvora

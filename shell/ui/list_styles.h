#pragma once
// The file list's view styles laid out: large icons, small icons and the list
// are one QListView in three layouts (cells of one size, so that the view never
// measures a row), the details a QTreeView with the columns. GUI thread only.
#include "shell/ui/list_parts.h"

namespace kelvora {

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// Lays the icon view out for style (the details view keeps small icons).
// thumbnailBox > 0: the large-icon style's cells hold thumbnails drawn in a
// square of that many logical pixels, every cell one size.
void ShLayOutListViews(TViewStyle style, QListView& iconView, TShListItemDelegate& delegate,
                       QTreeView& detailsView, int thumbnailBox = 0);

} // namespace kelvora

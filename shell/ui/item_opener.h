#pragma once
// Opening an item of the tree or the list: what a double-click or Enter does to
// anything that is not simply a folder to show. A link is resolved when the
// control allows it: a folder it leads to is shown, anything else is opened
// (the link itself, with the desktop's associated application), and a broken
// link opens nothing. An item that is no link, or whose link the control did
// not let be resolved, is opened when the control allows it.
//
// GUI thread only.
#include "base/shell_opener.h"
#include "shell/items/id_list.h"

#include <functional>

namespace kelvora {

class TVelShData;

struct TShOpenHooks {
    std::function<bool()> linkOpen;                      // may the link be resolved
    std::function<bool()> execute;                       // may the item be opened
    std::function<void(PCItemIDList folder)> showFolder; // a link's folder
};

void ShOpenItem(TVelShData& item, TShellOpener& opener, const TShOpenHooks& hooks);

} // namespace kelvora

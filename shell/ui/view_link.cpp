#include "shell/ui/view_link.h"

#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"

namespace kelvora {

void TVelShViewLink::Join(TCustomVelShTreeView* tree, TCustomVelShListView* list) {
    // Held here: breaking a link may take the last hold on it from its sides.
    const std::shared_ptr<TVelShViewLink> treeOld = tree->ViewLink();
    const std::shared_ptr<TVelShViewLink> listOld = list->ViewLink();
    if (treeOld)
        treeOld->Break();
    if (listOld)
        listOld->Break();
    const std::shared_ptr<TVelShViewLink> link(new TVelShViewLink(tree, list));
    tree->AttachLink(link);
    list->AttachLink(link);
}

TVelShViewLink::TVelShViewLink(TCustomVelShTreeView* tree, TCustomVelShListView* list)
    : tree_(tree), list_(list), treeSide_(tree), listSide_(list) {}

TCustomVelShTreeView* TVelShViewLink::Tree() const {
    return tree_ ? treeSide_ : nullptr;
}

TCustomVelShListView* TVelShViewLink::List() const {
    return list_ ? listSide_ : nullptr;
}

void TVelShViewLink::Break() {
    TCustomVelShTreeView* tree = Tree();
    TCustomVelShListView* list = List();
    tree_ = nullptr;
    list_ = nullptr;
    // Nothing reaches either side through this link any more.
    disconnect();
    if (tree)
        tree->AttachLink(nullptr);
    if (list)
        list->AttachLink(nullptr);
}

void ShOperationEnded(TVelShViewLink* link, const std::function<void()>& readOwn) {
    if (link)
        emit link->OperationFinished();
    else
        readOwn();
}

} // namespace kelvora

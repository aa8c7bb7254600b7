// Label editing in the folder tree: renaming a node's item in its folder.
#include "base/codepage.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"

namespace kelvora {

void TCustomVelShTreeView::SetReadOnly(bool value) {
    readOnly_ = value;
    slowEditTimer_.stop();
    // A second slow click is the tree's own (see mouseReleaseEvent).
    setEditTriggers(value ? QAbstractItemView::NoEditTriggers : QAbstractItemView::EditKeyPressed);
    if (value)
        model_->SetRenameNode(nullptr);
    else
        model_->SetRenameNode(
            [this](TVelShTreeNode* node, const QString& text) { return renameNode(node, text); });
}

bool TCustomVelShTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    constexpr EditTriggers editing = EditKeyPressed | SelectedClicked | DoubleClicked;
    if (trigger & editing) {
        const TVelShTreeNode* node = model_->NodeOf(index);
        if (readOnly_ || mouseState_ != 0 || !node || !node->IsValid() ||
            node->Data()->GetLevel() == 0 || !node->Data()->HasAttribute(SFGAO_CANRENAME))
            return false;
    }
    return QTreeView::edit(index, trigger, event);
}

std::vector<TIDListPtr> TCustomVelShTreeView::remapExpanded(PCItemIDList oldID,
                                                            PCItemIDList newID) {
    std::vector<TIDListPtr> moved;
    const int depth = TVelShID::IDCount(oldID);
    for (int i = 0; i < expanded_.Count(); ++i) {
        const PCItemIDList entry = expanded_.Items(i);
        if (!TVelShID::IDIsEqual(oldID, entry) && !TVelShID::IDIsAncestor(oldID, entry))
            continue;
        PCItemIDList below = entry; // null once nothing is left below oldID's items
        for (int level = 0; level < depth; ++level)
            below = TVelShID::IDNext(below);
        moved.emplace_back(below ? TVelShID::IDConcat(newID, below) : TVelShID::IDClone(newID));
    }
    for (int i = expanded_.Count() - 1; i >= 0; --i) {
        if (TVelShID::IDIsEqual(oldID, expanded_.Items(i)) ||
            TVelShID::IDIsAncestor(oldID, expanded_.Items(i)))
            expanded_.Delete(i);
    }
    for (const TIDListPtr& id : moved) {
        if (id)
            expanded_.Add(TVelShID::IDClone(id.get()));
    }
    return moved;
}

void TCustomVelShTreeView::reopen(const std::vector<TIDListPtr>& ids) {
    for (const TIDListPtr& id : ids) {
        bool reached = false;
        TVelShTreeNode* node = id ? findNode(id.get(), reached) : nullptr;
        if (reached)
            expand(IndexOf(node));
    }
}

bool TCustomVelShTreeView::renameNode(TVelShTreeNode* node, const QString& text) {
    if (!node || !node->IsValid() || text == node->Text())
        return false; // no new text
    TVelShFolderData* item = node->Data();
    const TIDListPtr oldID(TVelShID::IDClone(item->GetAbsoluteID()));
    QString error;
    if (!item->RenameInFolder(fromQ(text), &error)) {
        dialogs_->showError(window(), error);
        return false; // the label shows the name it had
    }
    TPriorityBatch batch(*this);
    const bool open = isExpanded(IndexOf(node));
    // The branches open below it are opened again under the new name.
    const std::vector<TIDListPtr> branches = remapExpanded(oldID.get(), item->GetAbsoluteID());
    model_->Renamed(node);
    if (open) {
        fillNode(node);
        expand(IndexOf(node));
    }
    reopen(branches);
    if (listView_) {
        if (item->HasAttribute(SFGAO_FOLDER)) {
            const TIDListPtr renamed(TVelShID::IDClone(item->GetAbsoluteID()));
            listView_->SetFolder(renamed.get());
        } else {
            listView_->RefreshList();
        }
        listView_->dropCachedLists(true);
    }
    return true;
}

void TCustomVelShTreeView::itemRenamed(PCItemIDList oldID, PCItemIDList newID) {
    if (destroying_)
        return;
    TPriorityBatch batch(*this);
    const std::vector<TIDListPtr> branches = remapExpanded(oldID, newID);
    RefreshNodes();
    reopen(branches);
}

} // namespace kelvora

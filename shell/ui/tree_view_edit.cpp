// Label editing in the folder tree: renaming a node's item in its folder.
#include "base/codepage.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"
#include "shell/ui/tree_watcher.h"
#include "shell/ui/view_link.h"

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
        if (readOnly_ || mouseState_ != TShMouseState::Idle || !node || !node->IsValid() ||
            node->Data()->GetLevel() == 0 || !node->Data()->HasAttribute(SFGAO_CANRENAME))
            return false;
    }
    return QTreeView::edit(index, trigger, event);
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
    TVelShTreeWatcher::TBatch batch(*watcher_);
    const bool open = isExpanded(IndexOf(node));
    // The branches open below it are opened again under the new name.
    const std::vector<TIDListPtr> branches = nodes_.Remap(oldID.get(), item->GetAbsoluteID());
    model_->Renamed(node);
    if (open) {
        nodes_.Fill(node);
        expand(IndexOf(node));
    }
    nodes_.Reopen(branches);
    if (TCustomVelShListView* list = linkedList()) {
        if (item->HasAttribute(SFGAO_FOLDER)) {
            const TIDListPtr renamed(TVelShID::IDClone(item->GetAbsoluteID()));
            list->SetFolder(renamed.get());
        } else {
            list->RefreshList();
        }
        emit link_->TreeItemRenamed();
    }
    return true;
}

void TCustomVelShTreeView::itemRenamed(const QByteArray& oldBytes, const QByteArray& newBytes) {
    if (destroying_ || oldBytes.size() < 2 || newBytes.size() < 2)
        return;
    const auto oldID = reinterpret_cast<PCItemIDList>(oldBytes.constData());
    const auto newID = reinterpret_cast<PCItemIDList>(newBytes.constData());
    TVelShTreeWatcher::TBatch batch(*watcher_);
    const std::vector<TIDListPtr> branches = nodes_.Remap(oldID, newID);
    RefreshNodes();
    nodes_.Reopen(branches);
}

} // namespace kelvora

#include "shell/ui/tree_nodes.h"

#include "shell/items/drive_ready.h"
#include "shell/ui/busy_cursor.h"

namespace kelvora {

namespace {

// Folders of drives that take long to answer are read on a worker.
bool onSlowDrive(TVelShTreeNode* node) {
    std::string path;
    return node->Data()->GetLevel() > 0 && node->Data()->GetPath(path) && ShOnSlowDrive(path);
}

} // namespace

TVelShTreeNodes::TVelShTreeNodes(TVelShTreeModel& model, THost& host)
    : model_(model), host_(host),
      reader_([this](PCItemIDList id, TVelShTreeModel::TReading reading, bool refresh) {
          arrived(id, std::move(reading), refresh);
      }) {}

bool TVelShTreeNodes::ready(TVelShTreeNode* node) {
    TVelShFolderData* item = node->Data();
    // The desktop shows its virtual items even without a desktop folder.
    if (item->GetLevel() == 0)
        return true;
    const TShReadiness answer = ShItemReadiness(*item);
    if (answer == TShReadiness::Asking) {
        const PCItemIDList id = item->GetAbsoluteID();
        bool known = false;
        for (const TIDListPtr& waiting : asking_)
            known = known || TVelShID::IDIsEqual(waiting.get(), id);
        if (!known)
            asking_.emplace_back(TVelShID::IDClone(id));
    }
    return answer == TShReadiness::Ready;
}

bool TVelShTreeNodes::Fill(TVelShTreeNode* node) {
    // A drive without its medium, or one that does not answer, expands empty,
    // without an error.
    if (!ready(node))
        return false;
    fill(node, false);
    return true;
}

void TVelShTreeNodes::fill(TVelShTreeNode* node, bool refresh) {
    if (onSlowDrive(node)) {
        // An opening joins the reading on its way; a refresh wants a newer one.
        if (refresh || !reader_.Reading(node->Data()->GetAbsoluteID()))
            reader_.Read(model_.MakeReadRequest(node), refresh);
        return;
    }
    model_.Fill(node);
    if (!refresh)
        model_.SetHasChildren(node, node->Count() > 0);
}

bool TVelShTreeNodes::Reading(const TVelShTreeNode* node) const {
    return node && node->IsValid() && reader_.Reading(node->Data()->GetAbsoluteID());
}

void TVelShTreeNodes::arrived(PCItemIDList id, TVelShTreeModel::TReading reading, bool refresh) {
    TVelShTreeNode* node = Shown(id);
    if (!node || !node->IsValid() || !model_.Merge(node, std::move(reading)))
        return; // gone, renamed or rebuilt meanwhile
    if (!refresh) {
        model_.SetHasChildren(node, node->Count() > 0);
        return;
    }
    if (!host_.IsOpen(node))
        return;
    // What a refresh does for the closed branches below an open one, now that
    // their items are fresh (and their answers at hand).
    for (int i = 0; i < node->Count(); ++i) {
        TVelShTreeNode* child = node->Child(i);
        if (!host_.IsOpen(child) && child->Count() == 0)
            model_.Reattach(child);
    }
}

void TVelShTreeNodes::Opened(TVelShTreeNode* node) {
    if (!node || !node->IsValid())
        return;
    TVelShFolderData* item = node->Data();
    // While a drag is over the tree, deep branches of other kinds than folders and
    // drives open without being read.
    const TShItemIDType type = item->GetItemType();
    const bool fills =
        !host_.Dragging() || node->Level() <= 1 || type == itFolder || type == itRootDrive;
    // A drive or folder that did not answer is not open: nothing to open again
    // later, nothing to watch.
    if (node->Count() == 0 && fills && !Fill(node))
        return;
    if (item->HasAttribute(SFGAO_FILESYSTEM) && expanded_.IndexOf(item->GetAbsoluteID()) < 0) {
        expanded_.Add(TVelShID::IDClone(item->GetAbsoluteID()));
        host_.OpenBranchesChanged();
    }
}

void TVelShTreeNodes::Closed(TVelShTreeNode* node) {
    if (!node || !node->Data())
        return;
    // The node and the branches below it are no longer open.
    const PCItemIDList id = node->Data()->GetAbsoluteID();
    const int before = expanded_.Count();
    for (int i = expanded_.Count() - 1; i >= 0; --i) {
        if (TVelShID::IDIsEqual(id, expanded_.Items(i)) ||
            TVelShID::IDIsAncestor(id, expanded_.Items(i)))
            expanded_.Delete(i);
    }
    if (expanded_.Count() != before)
        host_.OpenBranchesChanged();
}

TVelShTreeNode* TVelShTreeNodes::Find(PCItemIDList id, bool& reached) {
    reached = false;
    TVelShTreeNode* node = Root();
    if (!id || !node || !node->IsValid())
        return node;
    const PCItemIDList rootID = node->Data()->GetAbsoluteID();
    const int skip = TVelShID::IDCount(rootID);
    if (skip > 0 && !TVelShID::IDIsEqual(rootID, id) && !TVelShID::IDIsAncestor(rootID, id))
        return node;
    const int count = TVelShID::IDCount(id);
    PCItemIDList rest = id;
    for (int i = 0; i < skip; ++i)
        rest = TVelShID::IDNext(rest);
    for (int level = skip; level < count; ++level) {
        if (!host_.IsOpen(node))
            host_.Open(node);
        else if (node->Count() == 0)
            Fill(node);
        TIDListPtr wanted(TVelShID::IDCopyFirst(rest));
        TVelShTreeNode* child = model_.ChildOf(node, wanted.get());
        if (!child && Fill(node)) // it may have appeared since the branch was read
            child = model_.ChildOf(node, wanted.get());
        if (!child)
            return node;
        node = child;
        rest = TVelShID::IDNext(rest);
    }
    reached = true;
    return node;
}

TVelShTreeNode* TVelShTreeNodes::Shown(PCItemIDList id) const {
    TVelShTreeNode* node = Root();
    if (!id || !node || !node->IsValid())
        return nullptr;
    const PCItemIDList rootID = node->Data()->GetAbsoluteID();
    if (!TVelShID::IDIsEqual(rootID, id) && !TVelShID::IDIsAncestor(rootID, id))
        return nullptr;
    PCItemIDList rest = id;
    for (int i = TVelShID::IDCount(rootID); i > 0; --i)
        rest = TVelShID::IDNext(rest);
    for (int level = TVelShID::IDCount(rootID); node && level < TVelShID::IDCount(id); ++level) {
        const TIDListPtr wanted(TVelShID::IDCopyFirst(rest));
        node = model_.ChildOf(node, wanted.get());
        rest = TVelShID::IDNext(rest);
    }
    return node;
}

void TVelShTreeNodes::Refresh(TVelShTreeNode* node) {
    if (!node->IsValid())
        return;
    const bool open = host_.IsOpen(node);
    if (open || node->Count() > 0) {
        if (!ready(node))
            return; // a drive that stopped answering keeps what it showed
        fill(node, true);
    } else {
        model_.Reattach(node);
    }
    if (!open)
        return;
    for (int i = 0; i < node->Count(); ++i)
        Refresh(node->Child(i));
}

void TVelShTreeNodes::Retry() {
    std::vector<TIDListPtr> waiting;
    waiting.swap(asking_);
    for (const TIDListPtr& id : waiting) {
        TVelShTreeNode* node = Shown(id.get());
        if (!node || !node->IsValid() || !host_.IsOpen(node))
            continue; // gone or closed meanwhile
        if (node->Count() == 0) {
            TShBusyCursor busy;
            Opened(node);
        }
    }
}

void TVelShTreeNodes::ReopenRemembered() {
    TVelShTreeNode* root = Root();
    if (!root || !root->IsValid())
        return;
    const PCItemIDList rootID = root->Data()->GetAbsoluteID();
    std::vector<TIDListPtr> open;
    for (int i = 0; i < expanded_.Count(); ++i) {
        if (TVelShID::IDIsAncestor(rootID, expanded_.Items(i)))
            open.emplace_back(TVelShID::IDClone(expanded_.Items(i)));
    }
    Reopen(open);
}

void TVelShTreeNodes::Reopen(const std::vector<TIDListPtr>& ids) {
    for (const TIDListPtr& id : ids) {
        bool reached = false;
        TVelShTreeNode* node = id ? Find(id.get(), reached) : nullptr;
        if (reached)
            host_.Open(node);
    }
}

void TVelShTreeNodes::ForgetVanished() {
    const int before = expanded_.Count();
    for (int i = expanded_.Count() - 1; i >= 0; --i) {
        std::string path;
        // A folder still being asked about stays remembered.
        if (!expanded_.GetPath(i, path) || ShFolderReadiness(path) == TShReadiness::NotReady)
            expanded_.Delete(i);
    }
    if (expanded_.Count() != before)
        host_.OpenBranchesChanged();
}

std::vector<TIDListPtr> TVelShTreeNodes::Remap(PCItemIDList oldID, PCItemIDList newID) {
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

std::vector<std::string> TVelShTreeNodes::ExpandedPaths() const {
    std::vector<std::string> folders;
    for (int i = 0; i < expanded_.Count(); ++i) {
        std::string path;
        if (expanded_.GetPath(i, path))
            folders.push_back(std::move(path));
    }
    return folders;
}

} // namespace kelvora

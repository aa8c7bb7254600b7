// The file list kept current: change notification, suspension, a folder
// asked for while its drive was asked whether it answers, and readings of the
// shown folder arriving from the worker (list_reader.h).
#include "shell/ui/list_view.h"

#include "shell/items/drive_ready.h"
#include "shell/notify/notify_thread.h"
#include "shell/ui/list_reader.h"
#include "shell/ui/list_watcher.h"
#include "shell/ui/tree_view.h"

namespace kelvora {

// --- change notification --------------------------------------------------------

void TCustomVelShListView::dropCachedLists(bool onlyVanished) {
    TVelShFileList* shown = ShFileList();
    if (!onlyVanished) {
        watcher_->Release(cache_.TakeAllBut(shown));
        return;
    }
    for (int i = cache_.Count() - 1; i >= 0; --i) {
        TVelShFileList* list = cache_.Items(i);
        if (list != shown && !list->Path().empty() &&
            ShFolderReadiness(list->Path()) == TShReadiness::NotReady) {
            std::vector<std::unique_ptr<TVelShFileList>> gone;
            gone.push_back(cache_.Take(i));
            watcher_->Release(std::move(gone));
        }
    }
}

void TCustomVelShListView::SuspendNotify(bool withLinked) {
    watcher_->Folders().Suspend();
    if (TCustomVelShTreeView* tree = linkedTree(); tree && withLinked)
        tree->SuspendNotify(false);
}

void TCustomVelShListView::ResumeNotify(bool withLinked) {
    watcher_->Folders().Resume();
    if (TCustomVelShTreeView* tree = linkedTree(); tree && withLinked)
        tree->ResumeNotify(false);
}

void TCustomVelShListView::answered() {
    if (!asked_ || destroying_ || ShFileList() != askedFrom_)
        return; // nothing asked for, or the list has moved on since
    const TIDListPtr id = std::move(asked_);
    SetFolder(id.get());
}

void TCustomVelShListView::foldersChanged(const std::string& path) {
    if (destroying_)
        return;
    TVelShFileList* shown = ShFileList();
    dropCachedLists(false);
    if (!shown || shown->Path().empty() || path != ShNotifyFolderPath(shown->Path()))
        return;
    if (ShFolderReadiness(shown->Path()) != TShReadiness::NotReady) {
        // Read on a worker: a big folder, or a slow drive, keeps the window going.
        reader_->Read(shown, enumOptions().flags);
    } else {
        showExistingAncestor(shown);
        dropCachedLists(true);
    }
}

void TCustomVelShListView::showExistingAncestor(TVelShFileList* list) {
    TIDListPtr id(TVelShID::IDClone(list->FolderID()));
    while (id && TVelShID::IDCount(id.get()) > 0) {
        id.reset(TVelShID::IDCopyParent(id.get()));
        std::string path;
        if (id && TVelShID::IDGetPath(id.get(), path) &&
            ShFolderReadiness(path) == TShReadiness::Ready)
            break;
    }
    if (!id)
        id.reset(IDMakeEmpty());
    SetFolder(id.get());
}

void TCustomVelShListView::readingArrived(TVelShFileList* list, TVelShFileList::TReading reading) {
    // The reader drops readings asked for before the list last changed its
    // folder or was read again, so list is still the one shown.
    if (destroying_ || list != ShFileList())
        return;
    if (mouseDown_) {
        // No row moves under the pointer: read again once the button is up.
        readPending_ = true;
        return;
    }
    if (!reading.read && !list->Path().empty() &&
        ShFolderReadiness(list->Path()) == TShReadiness::NotReady) {
        // Deleted while it was read: its watch has gone with it, so no later
        // change will tell. Go where a change would have gone.
        showExistingAncestor(list);
        dropCachedLists(true);
        return;
    }
    showReading(list, std::move(reading));
}

} // namespace kelvora

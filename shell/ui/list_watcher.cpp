#include "shell/ui/list_watcher.h"

#include <algorithm>

namespace kelvora {

TVelShListWatcher::TVelShListWatcher(std::uint8_t filter, const TVelShFileLists& cache,
                                     QObject* parent)
    : QObject(parent), watcher_(filter, false), cache_(cache) {
    connect(&watcher_, &TShFolderWatcher::folderChanged, this, &TVelShListWatcher::changed);
}

void TVelShListWatcher::Watch(TVelShFileList* list) {
    const std::string& path = list->Path();
    if (path.empty())
        return;
    try {
        watcher_.AddFolder(path);
    } catch (const EShNotifyError&) {
        // Over the watch limit: this folder is simply not kept current.
    }
}

void TVelShListWatcher::Unwatch(TVelShFileList* list) {
    const std::string& path = list->Path();
    if (path.empty())
        return;
    // Another cached list may show the same folder under another ID.
    for (int i = 0; i < cache_.Count(); ++i) {
        if (cache_.Items(i) != list && cache_.Items(i)->Path() == path)
            return;
    }
    watcher_.RemoveFolder(path);
}

void TVelShListWatcher::Release(std::vector<std::unique_ptr<TVelShFileList>> lists) {
    for (auto& list : lists)
        Unwatch(list.get());
}

void TVelShListWatcher::Hold(bool held) {
    holding_ = held;
    if (held || held_.empty())
        return;
    std::vector<std::string> changes;
    changes.swap(held_);
    for (const std::string& path : changes)
        emit folderChanged(path);
}

void TVelShListWatcher::changed(const std::string& path) {
    if (!holding_) {
        emit folderChanged(path);
        return;
    }
    // Taken up when the button is released, so that no change is lost.
    if (std::find(held_.begin(), held_.end(), path) == held_.end())
        held_.push_back(path);
}

} // namespace kelvora

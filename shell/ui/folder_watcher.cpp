#include "shell/ui/folder_watcher.h"

#include <algorithm>

namespace kelvora {

TShFolderWatcher::TShFolderWatcher(std::uint8_t filter, bool subtree, QObject* parent)
    : QObject(parent) {
    thread_ = std::make_unique<TShNotifyThread>(
        filter, true,
        [this](TShNotifyThread*, const std::string& path, const std::vector<std::string>&) {
            emit folderChanged(path);
        });
    thread_->SetWatchSubtree(subtree);
    thread_->setOnTerminate([this](TShThread*) { (void)thread_.release(); });
    thread_->resume();
}

TShFolderWatcher::~TShFolderWatcher() {
    Stop();
}

void TShFolderWatcher::Stop() {
    if (!thread_)
        return;
    thread_->setOnTerminate(nullptr);
    thread_->Stop();
    thread_.reset();
}

void TShFolderWatcher::Suspend() {
    if (suspended_++ > 0 || !thread_)
        return;
    wanted_ = thread_->Folders();
    thread_->SetFolders(nullptr);
}

void TShFolderWatcher::Resume() {
    if (suspended_ == 0 || --suspended_ > 0 || !thread_)
        return;
    std::vector<std::string> folders;
    folders.swap(wanted_);
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    if (folders.size() >= static_cast<std::size_t>(TShNotifyThread::kMaxFolders))
        folders.resize(TShNotifyThread::kMaxFolders - 1);
    thread_->SetFolders(folders);
}

void TShFolderWatcher::SetFolders(const std::vector<std::string>& folders) {
    if (Suspended()) {
        wanted_.clear();
        for (const std::string& path : folders)
            wanted_.push_back(ShNotifyFolderPath(path));
    } else if (thread_) {
        thread_->SetFolders(folders);
    }
}

void TShFolderWatcher::AddFolder(const std::string& path) {
    if (Suspended())
        wanted_.push_back(ShNotifyFolderPath(path));
    else if (thread_)
        thread_->AddFolder(path);
}

void TShFolderWatcher::RemoveFolder(const std::string& path) {
    if (Suspended())
        std::erase(wanted_, ShNotifyFolderPath(path));
    else if (thread_)
        thread_->RemoveFolder(path);
}

void TShFolderWatcher::SetFilter(std::uint8_t filter) {
    if (thread_)
        thread_->SetFilter(filter);
}

void TShFolderWatcher::SetPriorityFolders(const std::vector<std::string>& folders) {
    if (thread_)
        thread_->SetPriorityFolders(folders);
}

std::vector<std::string> TShFolderWatcher::Folders() const {
    return thread_ ? thread_->Folders() : std::vector<std::string>();
}

} // namespace kelvora

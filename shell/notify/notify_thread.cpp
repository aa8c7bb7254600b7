#include "shell/notify/notify_thread.h"

#include "shell/shell_texts.h"

#include <QString>
#include <algorithm>
#include <sys/stat.h>

namespace kelvora {

namespace {

// Directories walked per slice before the worker looks at its events again.
constexpr int kWalkSliceMs = 10;

bool contains(const std::vector<std::string>& sorted, const std::string& path) {
    return std::binary_search(sorted.begin(), sorted.end(), path);
}

[[noreturn]] void tooManyFolders() {
    throw EShNotifyError(VelShCst::Text(VelShCst::STooManyFolders));
}

} // namespace

std::string ShNotifyFolderPath(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

TShNotifyThread::TShNotifyThread(std::uint8_t filter, bool createSuspended, Callback callback)
    : callback_(std::move(callback)), filter_(filter) {
    if (!createSuspended)
        resume();
}

TShNotifyThread::~TShNotifyThread() {
    stopThread();
}

bool TShNotifyThread::Stamp::operator==(const Stamp& other) const {
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return same(mtime, other.mtime) && size == other.size && inode == other.inode;
}

// An existing folder (links followed), and how it is now.
bool TShNotifyThread::stampOf(const std::string& path, Stamp& stamp) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    stamp = Stamp{st.st_mtim, st.st_size, st.st_ino};
    return true;
}

// Under the lock: the folder is new to the lists; see catchUp.
void TShNotifyThread::requested(const std::string& folder, const Stamp& stamp) {
    requested_.emplace(folder, stamp);
}

// Under the lock: the worker takes the new settings at its next turn.
void TShNotifyThread::changed() {
    resetReady();
    Wake();
}

void TShNotifyThread::AddFolder(const std::string& path) {
    std::lock_guard guard(mutex());
    if (folders_.size() >= static_cast<std::size_t>(kMaxFolders))
        tooManyFolders();
    Stamp stamp;
    if (!stampOf(path, stamp))
        return;
    const std::string folder = ShNotifyFolderPath(path);
    auto it = std::lower_bound(folders_.begin(), folders_.end(), folder);
    if (it != folders_.end() && *it == folder)
        return;
    folders_.insert(it, folder);
    requested(folder, stamp);
    changed();
}

void TShNotifyThread::RemoveFolder(const std::string& path) {
    std::lock_guard guard(mutex());
    const std::string folder = ShNotifyFolderPath(path);
    auto it = std::lower_bound(folders_.begin(), folders_.end(), folder);
    if (it == folders_.end() || *it != folder)
        return;
    folders_.erase(it);
    changed();
}

void TShNotifyThread::SetFolders(const std::vector<std::string>& list) {
    std::lock_guard guard(mutex());
    if (list.size() >= static_cast<std::size_t>(kMaxFolders))
        tooManyFolders();
    std::vector<std::string> folders;
    std::map<std::string, Stamp> stamps;
    for (const std::string& path : list) {
        Stamp stamp;
        if (stampOf(path, stamp)) {
            folders.push_back(ShNotifyFolderPath(path));
            stamps.emplace(folders.back(), stamp);
        }
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    if (folders == folders_)
        return;
    for (const std::string& folder : folders)
        if (!contains(folders_, folder))
            requested(folder, stamps[folder]);
    folders_ = std::move(folders);
    changed();
}

void TShNotifyThread::SetFolders(std::nullptr_t) {
    std::lock_guard guard(mutex());
    folders_.clear();
    changed();
}

void TShNotifyThread::SetFilter(std::uint8_t filter) {
    std::lock_guard guard(mutex());
    if (filter == filter_)
        return;
    filter_ = filter;
    changed();
}

void TShNotifyThread::SetPriorityFolders(const std::vector<std::string>& folders) {
    std::lock_guard guard(mutex());
    std::vector<std::string> priority;
    for (const std::string& path : folders)
        if (!path.empty() && path[0] == '/')
            priority.push_back(ShNotifyFolderPath(path));
    std::sort(priority.begin(), priority.end());
    priority.erase(std::unique(priority.begin(), priority.end()), priority.end());
    if (priority.size() > static_cast<std::size_t>(watchLimit_))
        priority.resize(static_cast<std::size_t>(watchLimit_));
    if (priority == priority_)
        return;
    // The folders just opened: their drives answer.
    for (const std::string& folder : priority) {
        Stamp stamp;
        if (!contains(priority_, folder) && stampOf(folder, stamp))
            requested(folder, stamp);
    }
    priority_ = std::move(priority);
    changed();
}

std::vector<std::string> TShNotifyThread::PriorityFolders() const {
    std::lock_guard guard(mutex());
    return priority_;
}

std::uint8_t TShNotifyThread::GetFilter() const {
    std::lock_guard guard(mutex());
    return filter_;
}

void TShNotifyThread::SetWatchSubtree(bool on) {
    std::lock_guard guard(mutex());
    if (on == watchSubtree_)
        return;
    watchSubtree_ = on;
    changed();
}

bool TShNotifyThread::watchSubtree() const {
    std::lock_guard guard(mutex());
    return watchSubtree_;
}

std::vector<std::string> TShNotifyThread::Folders() const {
    std::lock_guard guard(mutex());
    return folders_;
}

void TShNotifyThread::Stop() {
    {
        std::lock_guard guard(mutex());
        callback_ = nullptr;
    }
    TShThread::Stop();
}

std::string TShNotifyThread::changedPath() const {
    std::lock_guard guard(mutex());
    return changedPath_;
}

bool TShNotifyThread::busy() const {
    std::lock_guard guard(mutex());
    return busy_ > 0;
}

void TShNotifyThread::setWatchLimit(int limit) {
    std::lock_guard guard(mutex());
    watchLimit_ = limit;
}

void TShNotifyThread::execute() {
    struct Leave {
        TShNotifyThread* thread;
        ~Leave() {
            thread->watches_.reset();
            thread->setReady();
        }
    } leave{this};
    {
        std::lock_guard guard(mutex());
        watches_ = std::make_unique<InotifyWatches>(stats_, watchLimit_);
    }
    const int fds[] = {watches_->fd()};
    using Clock = std::chrono::steady_clock;
    const auto quiet = std::chrono::milliseconds(kQuietMs);

    while (!terminated()) {
        {
            InotifyWatches::Changes missed;
            std::vector<std::string> gone;
            applySettings(missed, gone);
            takeChanges(missed);
            // Gone before they could be watched: reported at once, as a watched
            // folder that goes away is.
            for (const std::string& path : gone)
                notify(path, false);
        }
        int timeout = kInfinite;
        if (watches_->walking()) {
            timeout = 0;
        } else if (!pending_.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(quietFrom_ + quiet - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        InotifyWatches::Changes changes;
        int index = 0;
        switch (WaitForHandles(fds, timeout, index)) {
        case TShWaitResult::wrTerminated:
            return;
        case TShWaitResult::wrHandle:
            watches_->readEvents(changes);
            break;
        case TShWaitResult::wrError: {
            // Start over: every folder is registered again by applySettings.
            std::lock_guard guard(mutex());
            watches_->removeAll();
            break;
        }
        case TShWaitResult::wrWoken:   // applySettings takes the new settings; a quiet
        case TShWaitResult::wrTimeout: // period under way goes on
            break;
        }
        if (watches_->walking())
            watches_->walkSlice(kWalkSliceMs, changes);
        takeChanges(changes);
        if (!pending_.empty() && Clock::now() >= quietFrom_ + quiet) {
            std::vector<std::string> due;
            due.swap(pending_);
            for (const std::string& path : due) {
                if (terminated())
                    return;
                notify(path, true);
            }
        }
    }
}

// Registers the folders of the list that have no watch yet and drops the watches of
// folders no longer listed; watches of unchanged folders stay. A folder that
// cannot be watched leaves the list.
void TShNotifyThread::applySettings(InotifyWatches::Changes& missed,
                                    std::vector<std::string>& gone) {
    std::lock_guard guard(mutex());
    watches_->setWatchLimit(watchLimit_);
    watches_->configure(filter_, watchSubtree_);
    watches_->setPinned(priority_);
    for (const std::string& root : watches_->roots())
        if (!contains(folders_, root))
            watches_->removeRoot(root);
    for (std::size_t i = folders_.size(); i-- > 0;) {
        if (!watches_->hasRoot(folders_[i]) && !watches_->addRoot(folders_[i])) {
            if (requested_.count(folders_[i]))
                gone.push_back(folders_[i]);
            folders_.erase(folders_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    catchUp(missed);
    setReady();
}

// Under the lock, once the folders asked for have their watches: a folder whose
// entries are no longer as they were when it was asked for changed before its
// watch could see it, while its owner showed it as it was. It is reported as its
// watch would have. (Changes to the entries themselves, their sizes and times,
// leave no trace on the folder and cannot be caught up.)
void TShNotifyThread::catchUp(InotifyWatches::Changes& missed) {
    const bool names = (filter_ & (kNotifyFileName | kNotifyDirName | kNotifyCreation)) != 0;
    for (const auto& [folder, then] : requested_) {
        if (!names)
            break;
        Stamp now;
        if (!stampOf(folder, now) || now == then)
            continue;
        // The root that reports it: the folder itself, or the one it lies under.
        for (const std::string& root : folders_) {
            if (folder.compare(0, root.size(), root) == 0 && watches_->hasRoot(root)) {
                missed.addChanged(root);
                break;
            }
        }
    }
    requested_.clear();
}

void TShNotifyThread::takeChanges(InotifyWatches::Changes& changes) {
    auto gone = [&](const std::string& path) {
        return std::find(changes.vanished.begin(), changes.vanished.end(), path) !=
               changes.vanished.end();
    };
    if (!changes.changed.empty()) {
        for (const std::string& path : changes.changed) {
            if (gone(path))
                continue;
            std::erase(pending_, path);
            pending_.push_back(path);
        }
        quietFrom_ = std::chrono::steady_clock::now();
    }
    for (const std::string& path : changes.vanished) {
        if (terminated())
            return;
        dropVanished(path);
    }
}

// A watched folder went away: it is reported at once rather than after the quiet
// period, and leaves the list unless a folder exists at its path again.
void TShNotifyThread::dropVanished(const std::string& path) {
    std::erase(pending_, path);
    {
        std::lock_guard guard(mutex());
        watches_->removeRoot(path);
        auto it = std::lower_bound(folders_.begin(), folders_.end(), path);
        if (it == folders_.end() || *it != path)
            return;
        if (!watches_->addRoot(path))
            folders_.erase(it);
    }
    notify(path, false);
}

void TShNotifyThread::notify(const std::string& path, bool onlyIfListed) {
    {
        std::lock_guard guard(mutex());
        if (!callback_ || (onlyIfListed && !contains(folders_, path)))
            return;
        ++busy_;
        changedPath_ = path;
    }
    if (!post([this, path] { deliver(path); })) {
        std::lock_guard guard(mutex());
        --busy_;
    }
}

// On the GUI thread.
void TShNotifyThread::deliver(const std::string& path) {
    Callback callback;
    std::vector<std::string> list;
    {
        std::lock_guard guard(mutex());
        callback = callback_;
        list = folders_;
    }
    struct Done {
        TShNotifyThread* thread;
        ~Done() {
            std::lock_guard guard(thread->mutex());
            --thread->busy_;
        }
    } done{this};
    if (callback)
        callback(this, path, list);
}

} // namespace kelvora

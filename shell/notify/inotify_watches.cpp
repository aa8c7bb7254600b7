#include "shell/notify/inotify_watches.h"

#include "base/errors.h"
#include "shell/notify/notify_filter.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace kelvora {

namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

QString systemMessage(int error) {
    return QString::fromStdString(std::error_code(error, std::system_category()).message());
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// "/a/b/" -> "/a/b", so that lstat and IN_DONT_FOLLOW see a link as a link.
std::string withoutDelimiter(const std::string& path) {
    return path.size() > 1 ? path.substr(0, path.size() - 1) : path;
}

} // namespace

void InotifyWatches::Changes::addChanged(const std::string& root) {
    // The most recently changed root goes last.
    std::erase(changed, root);
    changed.push_back(root);
}

void InotifyWatches::Changes::addVanished(const std::string& root) {
    if (std::find(vanished.begin(), vanished.end(), root) == vanished.end())
        vanished.push_back(root);
}

InotifyWatches::InotifyWatches(InotifyWatchStats& stats, int watchLimit)
    : stats_(stats), watchLimit_(watchLimit), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!fd_.valid())
        throw Exception(systemMessage(errno));
    updateStats();
}

std::uint32_t InotifyWatches::mask() const {
    // Every watch may guard a root's path, which needs its folder's name events.
    std::uint32_t m = IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK | IN_DELETE_SELF | IN_MOVE_SELF |
                      IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
    if (filter_ & (kNotifyFileName | kNotifyDirName))
        m |= kNameEvents;
    if (filter_ & (kNotifyAttributes | kNotifySecurity))
        m |= IN_ATTRIB;
    // A write time is reported once its writer is done: a file written on and
    // on (a log, a download) would otherwise keep every folder from going quiet.
    if (filter_ & kNotifySize)
        m |= IN_MODIFY | IN_CLOSE_WRITE;
    if (filter_ & kNotifyLastWrite)
        m |= IN_CLOSE_WRITE;
    // Reading a folder counts as an access too, so with this filter the walk and the
    // owner's own listing after a callback are reported as well.
    if (filter_ & kNotifyLastAccess)
        m |= IN_ACCESS;
    if (filter_ & kNotifyCreation)
        m |= IN_CREATE;
    if (subtree_)
        m |= IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO; // to follow folders that come and go
    return m;
}

// The kernel mask is wider than the filter (both name filters share the name
// events, and subtrees need folder events); this decides per event.
bool InotifyWatches::relevant(std::uint32_t eventMask) const {
    if (eventMask & kNameEvents) {
        const std::uint8_t nameBit = (eventMask & IN_ISDIR) ? kNotifyDirName : kNotifyFileName;
        if (filter_ & nameBit)
            return true;
        if ((eventMask & IN_CREATE) && (filter_ & kNotifyCreation))
            return true;
    }
    if ((eventMask & IN_ATTRIB) && (filter_ & (kNotifyAttributes | kNotifySecurity)))
        return true;
    if ((eventMask & (IN_MODIFY | IN_CLOSE_WRITE)) && (filter_ & kNotifySize))
        return true;
    if ((eventMask & IN_CLOSE_WRITE) && (filter_ & kNotifyLastWrite))
        return true;
    return (eventMask & IN_ACCESS) && (filter_ & kNotifyLastAccess);
}

void InotifyWatches::configure(std::uint8_t filter, bool subtree) {
    if (filter == filter_ && subtree == subtree_)
        return;
    removeAll();
    filter_ = filter;
    subtree_ = subtree;
}

bool InotifyWatches::addRoot(const std::string& path) {
    if (roots_.count(path))
        return true;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // The trailing "/" lets a root that is a link to a folder be watched.
    const int wd = addWatch(path, path, Role::Root);
    if (wd < 0)
        return false;
    Root& root = roots_[path];
    root.wd = wd;
    root.device = st.st_dev;
    root.inode = st.st_ino;
    guard(path);
    if (subtree_) {
        pin(path, path);
        enqueue(root, {path, false, false});
    }
    updateStats();
    return true;
}

// Watches the folders above a root. One that cannot be watched (no permission
// to read it) leaves that step of the path unguarded.
void InotifyWatches::guard(const std::string& root) {
    for (std::size_t slash = root.find('/'); slash != std::string::npos && slash + 1 < root.size();
         slash = root.find('/', slash + 1))
        addWatch(root.substr(0, slash + 1), root, Role::Guard);
}

bool InotifyWatches::leadsToRoot(const std::string& root) const {
    auto it = roots_.find(root);
    struct stat st;
    return it != roots_.end() && ::stat(root.c_str(), &st) == 0 && st.st_dev == it->second.device &&
           st.st_ino == it->second.inode;
}

void InotifyWatches::setPinned(std::vector<std::string> folders) {
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    if (folders == pinned_)
        return;
    unpinAll();
    pinned_ = std::move(folders);
    if (subtree_) {
        for (const auto& entry : roots_)
            pin(entry.first, entry.first);
    }
    updateStats();
}

// Pins the folders of pinned_ below rootPath whose path starts with prefix,
// each with the folders between it and the root.
void InotifyWatches::pin(const std::string& rootPath, const std::string& prefix) {
    for (auto it = std::lower_bound(pinned_.begin(), pinned_.end(), prefix);
         it != pinned_.end() && it->starts_with(prefix); ++it) {
        const std::string& folder = *it;
        if (folder.size() <= rootPath.size() || !folder.starts_with(rootPath))
            continue;
        for (std::size_t slash = folder.find('/', rootPath.size()); slash != std::string::npos;
             slash = folder.find('/', slash + 1)) {
            // Missing steps end the chain; their creation brings pin() back.
            if (addWatch(folder.substr(0, slash + 1), rootPath, Role::Pinned) < 0)
                break;
        }
    }
}

void InotifyWatches::unpinAll() {
    std::vector<int> unused;
    for (auto& [wd, watch] : watches_) {
        if (!watch.pinned)
            continue;
        watch.pinned = false;
        if (!watch.walked) {
            --counted_;
            const bool isRoot = std::any_of(roots_.begin(), roots_.end(),
                                            [wd = wd](const auto& r) { return r.second.wd == wd; });
            if (!isRoot && watch.guards.empty())
                unused.push_back(wd);
        }
    }
    for (int wd : unused) {
        ::inotify_rm_watch(fd_.get(), wd);
        eraseWatch(wd);
    }
}

void InotifyWatches::removeRoot(const std::string& path) {
    auto it = roots_.find(path);
    if (it == roots_.end())
        return;
    for (const WalkItem& item : it->second.queue)
        reserved_ -= item.needsWatch ? 1 : 0;
    queued_ -= static_cast<int>(it->second.queue.size());
    roots_.erase(it);
    std::vector<int> served;
    for (const auto& [wd, watch] : watches_)
        if (std::find(watch.roots.begin(), watch.roots.end(), path) != watch.roots.end() ||
            std::find(watch.guards.begin(), watch.guards.end(), path) != watch.guards.end())
            served.push_back(wd);
    for (int wd : served)
        dropRootFrom(wd, path);
    updateStats();
}

std::vector<std::string> InotifyWatches::roots() const {
    std::vector<std::string> result;
    for (const auto& entry : roots_)
        result.push_back(entry.first);
    return result;
}

void InotifyWatches::removeAll() {
    for (const auto& entry : watches_)
        ::inotify_rm_watch(fd_.get(), entry.first);
    watches_.clear();
    roots_.clear();
    counted_ = queued_ = reserved_ = 0;
    // pinned_ stays: the folders are pinned again as their roots come back.
    updateStats();
}

int InotifyWatches::addWatch(const std::string& path, const std::string& root, Role role) {
    // The walk never follows a link; roots, guards and pinned folders may be reached through one.
    const std::string name = role == Role::Walked ? withoutDelimiter(path) : path;
    const int wd = ::inotify_add_watch(fd_.get(), name.c_str(), mask());
    if (wd < 0)
        return -1;
    auto [it, inserted] = watches_.try_emplace(wd);
    Watch& watch = it->second;
    // An existing watch means the same folder reached again, perhaps under a new name.
    if (inserted || role != Role::Guard)
        watch.path = path;
    if (inserted)
        ++stats_.registrations;
    const bool wasCounted = !inserted && watch.counted();
    watch.walked = watch.walked || role == Role::Walked;
    watch.pinned = watch.pinned || role == Role::Pinned;
    if (!wasCounted && watch.counted())
        ++counted_;
    std::vector<std::string>& list = role == Role::Guard ? watch.guards : watch.roots;
    if (std::find(list.begin(), list.end(), root) == list.end())
        list.push_back(root);
    return wd;
}

void InotifyWatches::dropRootFrom(int wd, const std::string& root) {
    auto it = watches_.find(wd);
    if (it == watches_.end())
        return;
    std::erase(it->second.roots, root);
    std::erase(it->second.guards, root);
    if (it->second.roots.empty() && it->second.guards.empty()) {
        // Fails harmlessly when the kernel has already dropped the watch.
        ::inotify_rm_watch(fd_.get(), wd);
        eraseWatch(wd);
    }
}

void InotifyWatches::eraseWatch(int wd) {
    auto it = watches_.find(wd);
    if (it == watches_.end())
        return;
    counted_ -= it->second.counted() ? 1 : 0;
    watches_.erase(it);
}

void InotifyWatches::forgetBelow(const std::string& root, const std::string& prefix) {
    std::vector<int> below;
    for (const auto& [wd, watch] : watches_)
        if (watch.path.starts_with(prefix) &&
            std::find(watch.roots.begin(), watch.roots.end(), root) != watch.roots.end())
            below.push_back(wd);
    for (int wd : below)
        dropRootFrom(wd, root);
}

void InotifyWatches::enqueue(Root& root, WalkItem item) {
    if (item.needsWatch) {
        if (counted_ + reserved_ >= watchLimit_)
            return;
        ++reserved_;
    }
    root.queue.push_back(std::move(item));
    ++queued_;
}

void InotifyWatches::readEvents(Changes& changes) {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;
            throw Exception(systemMessage(errno));
        }
        if (n == 0)
            break;
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;

            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: every root may have changed, and folders may
                // have appeared unseen.
                for (auto& [path, root] : roots_) {
                    changes.addChanged(path);
                    if (subtree_) {
                        pin(path, path);
                        enqueue(root, {path, false, false});
                    }
                }
                continue;
            }
            auto it = watches_.find(event->wd);
            if (it == watches_.end())
                continue; // a watch already dropped
            const std::vector<std::string> served = it->second.roots;
            const std::vector<std::string> guarded = it->second.guards;
            const std::string folder = it->second.path;

            if (event->mask & kSelfEvents) {
                for (const std::string& root : served) {
                    auto r = roots_.find(root);
                    if (r != roots_.end() && r->second.wd == event->wd)
                        changes.addVanished(root);
                }
                // A folder on a root's path went: the path may no longer lead to the root.
                for (const std::string& root : guarded)
                    if (!leadsToRoot(root))
                        changes.addVanished(root);
                // A folder below a root that moved is handled through its parent's
                // move events; one that is gone has lost its watch in the kernel.
                if (event->mask & (IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT))
                    eraseWatch(event->wd);
                continue;
            }

            if (event->len > 0 && !guarded.empty() &&
                (event->mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))) {
                // The step of a root's path inside this folder was removed,
                // renamed or replaced. (An event from before the root was
                // registered again finds the path leading to it.)
                const std::string step = folder + event->name + "/";
                for (const std::string& root : guarded)
                    if (root.starts_with(step) && !leadsToRoot(root))
                        changes.addVanished(root);
            }
            if (subtree_ && (event->mask & IN_ISDIR) && event->len > 0) {
                const std::string child = folder + event->name + "/";
                if (event->mask & (IN_MOVED_FROM | IN_DELETE))
                    for (const std::string& root : served)
                        forgetBelow(root, child);
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    for (const std::string& root : served)
                        if (auto r = roots_.find(root); r != roots_.end()) {
                            pin(root, child);
                            enqueue(r->second, {child, true, true});
                        }
            }
            if (relevant(event->mask))
                for (const std::string& root : served)
                    changes.addChanged(root);
        }
    }
    updateStats();
}

void InotifyWatches::walkSlice(int milliseconds, Changes& changes) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (queued_ > 0) {
        // Roots take turns, one directory each.
        auto it = roots_.upper_bound(lastWalked_);
        auto pick =
            std::find_if(it, roots_.end(), [](const auto& e) { return !e.second.queue.empty(); });
        if (pick == roots_.end())
            pick = std::find_if(roots_.begin(), it,
                                [](const auto& e) { return !e.second.queue.empty(); });
        if (pick == roots_.end()) {
            queued_ = reserved_ = 0; // nothing left, whatever the counts said
            break;
        }
        lastWalked_ = pick->first;
        walkOne(pick->first, pick->second, changes);
        if (Clock::now() >= deadline)
            break;
    }
    updateStats();
}

void InotifyWatches::walkOne(const std::string& rootPath, Root& root, Changes& changes) {
    const WalkItem item = std::move(root.queue.front());
    root.queue.pop_front();
    --queued_;
    if (item.needsWatch) {
        --reserved_;
        // Cached attributes are enough to see that a folder belongs to another file
        // system, and asking for them sends nothing to that file system: a network
        // mount whose server is gone would never answer.
        struct statx sx;
        const std::string name = withoutDelimiter(item.path);
        if (::statx(AT_FDCWD, name.c_str(),
                    AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_TYPE,
                    &sx) != 0 ||
            !S_ISDIR(sx.stx_mode) || ::makedev(sx.stx_dev_major, sx.stx_dev_minor) != root.device)
            return;
        if (counted_ >= watchLimit_ || addWatch(item.path, rootPath, Role::Walked) < 0)
            return;
    }
    // Listed after the watch exists, so that nothing created meanwhile is missed.
    std::unique_ptr<DIR, DirCloser> dir(::opendir(item.path.c_str()));
    if (!dir)
        return;
    bool hasEntries = false;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        hasEntries = true;
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(st.st_mode);
        }
        if (isDir)
            folders.emplace_back(name);
    }
    // In name order, so that which folders a short budget reaches does not depend
    // on the order the file system lists them in.
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : folders)
        enqueue(root, {item.path + name + "/", true, item.appeared});
    // A folder that arrived with contents may have had changes before its watch.
    if (item.appeared && hasEntries)
        changes.addChanged(rootPath);
}

void InotifyWatches::updateStats() {
    const auto guardsOnly = std::count_if(watches_.begin(), watches_.end(),
                                          [](const auto& w) { return w.second.roots.empty(); });
    stats_.watches = static_cast<int>(watches_.size() - static_cast<std::size_t>(guardsOnly));
    stats_.guards = static_cast<int>(guardsOnly);
}

} // namespace kelvora

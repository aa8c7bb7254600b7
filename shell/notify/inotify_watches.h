#pragma once
// The inotify side of a notification thread: one inotify descriptor holding a
// watch on each registered folder ("root") and, when subtrees are watched, on the
// folders below it. Events are translated back to the roots they belong to.
//
// Subtrees are walked breadth-first, a few directories at a time (walkSlice), so
// that the owner can go on as soon as the roots themselves are registered. The
// walk stays on the root's file system and never follows a symbolic link; folders
// created or moved in later are walked as they appear.
//
// Watch budget: the folders below the roots share at most watchLimit() watches per
// thread, 8192 by default. The per-user inotify limit (max_user_watches, 8192 at
// the least, often 65536) is shared by the whole session, and walking 8192 folders
// of a system disk takes 0.5 to 1.3 s in the background (32,000 took 3.5 s).
// Roots always get their own watch. The roots take turns, one directory each,
// breadth-first and in name order; the budget goes to whichever asks first. Once it
// is spent, deeper folders get no watch and changes inside them are missed (the
// folder that holds them still reports their creation, deletion and renaming).
// Watches freed by deleted folders return to the budget for folders created later.
//
// Pinned folders (setPinned: the folders the user has open) are watched whatever
// the budget, on any file system, together with the folders between them and
// their root; they take their places in the budget first, so the walk gets what
// is left. A pinned folder that goes away gets its watch back when it reappears.
//
// Guards: every root's ancestors are watched too, so that a root whose path stops
// leading to it (a parent renamed or deleted, a link to it removed or replaced)
// is reported as vanished at once, like a root that is itself deleted, instead of
// its changes being reported later under a path that no longer names it.
//
// Only the worker thread uses an instance; the counters may be read from any thread.
#include "base/unique_fd.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelvora {

// Counters for tests and diagnostics.
struct InotifyWatchStats {
    std::atomic<int> watches{0};       // watches held now for the folders and below them
    std::atomic<int> guards{0};        // watches held only to guard the folders' paths
    std::atomic<int> registrations{0}; // watches created so far
};

class InotifyWatches {
public:
    static constexpr int kDefaultWatchLimit = 8192;

    // Raises kelvora::Exception when inotify is unavailable (instance limit reached).
    InotifyWatches(InotifyWatchStats& stats, int watchLimit);

    int fd() const { return fd_.get(); }

    // Drops every watch when the filter or the subtree choice differs from the
    // current one.
    void configure(std::uint8_t filter, bool subtree);
    // Applies to watches made from now on.
    void setWatchLimit(int limit) { watchLimit_ = limit; }
    bool hasRoot(const std::string& path) const { return roots_.count(path) != 0; }
    // Registers a folder (ending in "/"); false when it cannot be watched.
    bool addRoot(const std::string& path);
    void removeRoot(const std::string& path);
    std::vector<std::string> roots() const;
    void removeAll();
    // Folders (ending in "/") below subtree roots that must be watched.
    void setPinned(std::vector<std::string> folders);

    // Changes found by readEvents and walkSlice. Both vectors hold root paths.
    struct Changes {
        std::vector<std::string> changed;  // matched the filter
        std::vector<std::string> vanished; // the root folder itself went away
        void addChanged(const std::string& root);
        void addVanished(const std::string& root);
    };
    // Reads every queued event. Raises kelvora::Exception when reading fails.
    void readEvents(Changes& changes);
    bool walking() const { return queued_ > 0; }
    // Walks queued directories for about the given time.
    void walkSlice(int milliseconds, Changes& changes);

private:
    enum class Role { Root, Walked, Pinned, Guard };
    struct Watch {
        std::string path;                // ends in "/"
        std::vector<std::string> roots;  // roots this watch serves
        std::vector<std::string> guards; // roots whose path goes through this folder
        bool walked = false;             // reached by the walk
        bool pinned = false;             // a pinned folder or one on the way to it
        bool counted() const { return walked || pinned; } // takes a place in the budget
    };
    struct WalkItem {
        std::string path; // ends in "/"
        bool needsWatch;  // false for the root itself
        bool appeared;    // created after the watch began
    };
    struct Root {
        int wd = -1;
        unsigned long device = 0;
        unsigned long inode = 0;
        std::deque<WalkItem> queue;
    };

    std::uint32_t mask() const;
    bool relevant(std::uint32_t eventMask) const;
    int addWatch(const std::string& path, const std::string& root, Role role);
    void guard(const std::string& root);
    // Whether the root's path still names the folder that was registered.
    bool leadsToRoot(const std::string& root) const;
    void pin(const std::string& rootPath, const std::string& prefix);
    void unpinAll();
    void dropRootFrom(int wd, const std::string& root);
    void eraseWatch(int wd);
    void forgetBelow(const std::string& root, const std::string& prefix);
    void enqueue(Root& root, WalkItem item);
    void walkOne(const std::string& rootPath, Root& root, Changes& changes);
    void updateStats();

    InotifyWatchStats& stats_;
    int watchLimit_;
    UniqueFd fd_;
    std::uint8_t filter_ = 0;
    bool subtree_ = false;
    std::unordered_map<int, Watch> watches_;
    std::map<std::string, Root> roots_;
    int counted_ = 0;  // watches below roots, against the budget
    int queued_ = 0;   // walk items waiting, over all roots
    int reserved_ = 0; // queued items that will need a watch
    std::string lastWalked_;
    std::vector<std::string> pinned_; // sorted
};

} // namespace kelvora

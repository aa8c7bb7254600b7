#pragma once
// TShNotifyThread: watches a list of folders and, once a folder has changed and
// then stayed quiet for 1500 ms, calls its owner back on the GUI thread with the
// folder's path. The folder tree and the file list each own one.
//
// Usage: create suspended, SetFolders, resume; change the folders, the filter or
// the subtree choice at any time. The settings take effect on the worker a moment
// later: nothing waits for it (ready() and WaitReady tell when, for tests). Stop
// before deleting.
//
// A burst of changes is merged: every change restarts the quiet period, and when
// it ends each folder that changed gets one callback, the most recently changed
// last. A watched folder that is deleted, moved away or unmounted, or whose path
// stops leading to it (a parent renamed, a link to it removed), is called back at
// once and leaves the list (unless a folder exists at its path again, which is
// then watched instead).
//
// Nothing is lost while a new folder waits for its watch: the worker registers
// it a moment after it was asked to, and a folder whose entries changed since
// then (its modification time, size or inode differ from those it had when
// asked for) is reported as changed, as if its watch had seen it.
//
// With subtrees watched, the owner names the folders the user sees (expanded in
// the tree, shown in the list) with SetPriorityFolders: they are watched whatever
// the watch budget, before the rest of the subtree.
//
// Threads: the setters and getters may be called from any thread, under the
// thread's lock. Callbacks are queued to the GUI thread (post), in the order the
// worker found the changes; the worker goes on meanwhile and never waits for
// them, and a callback queued before Stop is dropped.
#include "base/errors.h"
#include "shell/notify/inotify_watches.h"
#include "shell/notify/notify_filter.h"
#include "shell/notify/sh_thread.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kelvora {

// A folder as the notification thread keeps and reports it: ending in "/".
std::string ShNotifyFolderPath(std::string path);

class TShNotifyThread final : public TShThread {
public:
    // Called on the GUI thread, never under the lock: the changed folder and the
    // folder list as it is then. The callback may change the folders.
    using Callback = std::function<void(TShNotifyThread* sender, const std::string& path,
                                        const std::vector<std::string>& list)>;

    // At most this many folders: the limit of the platform this program grew up on.
    static constexpr int kMaxFolders = 62;
    static constexpr int kQuietMs = 1500;

    TShNotifyThread(std::uint8_t filter, bool createSuspended, Callback callback);
    ~TShNotifyThread() override;

    // Raises EShNotifyError when kMaxFolders are already watched. A path that is not
    // an existing folder is ignored.
    void AddFolder(const std::string& path);
    void RemoveFolder(const std::string& path);
    // The existing folders of the list become the folder list (sorted, each ending
    // in "/"); an equal list changes nothing. Raises EShNotifyError for kMaxFolders
    // or more entries.
    void SetFolders(const std::vector<std::string>& list);
    // Empties the folder list.
    void SetFolders(std::nullptr_t);
    void SetFilter(std::uint8_t filter);
    std::uint8_t GetFilter() const;
    void SetWatchSubtree(bool on);
    bool watchSubtree() const;
    // Folders below the watched folders that must be watched (subtrees only);
    // an equal list changes nothing. At most the watch limit's number are kept.
    void SetPriorityFolders(const std::vector<std::string>& folders);
    std::vector<std::string> PriorityFolders() const;
    // A copy of the folder list.
    std::vector<std::string> Folders() const;
    // Returns once the thread has put the current settings into effect: for tests
    // and tools that must know a change will be seen; the program never waits.
    void WaitReady() { waitReady(); }
    // Clears the callback, then ends the thread.
    void Stop() override;

    // The folder passed to the last callback.
    std::string changedPath() const;
    // True while a callback is queued to the GUI thread or running there.
    bool busy() const;
    bool ready() const { return isReadySet(); }

    // Watches for folders below the roots (see inotify_watches.h); takes effect
    // when folders are next registered.
    void setWatchLimit(int limit);
    int watchCount() const { return stats_.watches.load(); }
    int guardCount() const { return stats_.guards.load(); }
    int registrationCount() const { return stats_.registrations.load(); }

protected:
    void execute() override;

private:
    void changed();
    struct Stamp {
        timespec mtime{};
        off_t size = 0;
        ino_t inode = 0;
        bool operator==(const Stamp& other) const;
    };
    static bool stampOf(const std::string& path, Stamp& stamp);
    void requested(const std::string& folder, const Stamp& stamp);
    // gone: folders asked for that went away before they could be registered.
    void applySettings(InotifyWatches::Changes& missed, std::vector<std::string>& gone);
    void catchUp(InotifyWatches::Changes& missed);
    void notify(const std::string& path, bool onlyIfListed);
    void deliver(const std::string& path);
    void takeChanges(InotifyWatches::Changes& changes);
    void dropVanished(const std::string& path);

    // Guarded by the lock.
    Callback callback_;
    std::vector<std::string> folders_;
    std::uint8_t filter_;
    bool watchSubtree_ = true;
    std::vector<std::string> priority_; // sorted, each ending in "/"
    int busy_ = 0;                      // callbacks queued or running
    std::string changedPath_;
    int watchLimit_ = InotifyWatches::kDefaultWatchLimit;
    // Folders asked for and not yet registered, as they were when asked for.
    std::map<std::string, Stamp> requested_;

    // The worker's own.
    std::unique_ptr<InotifyWatches> watches_;
    std::vector<std::string> pending_; // changed folders waiting for quiet, latest last
    std::chrono::steady_clock::time_point quietFrom_;
    InotifyWatchStats stats_;
};

} // namespace kelvora

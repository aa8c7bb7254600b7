#pragma once
// TVelShTreeWatcher: what keeps the folder tree current. It watches the roots of
// the fixed and optical drives with their subtrees (a TShFolderWatcher), with
// the folders the user sees (open branches, the linked list's folder) as the
// notification's priority folders, and it follows the drives a mount monitor
// reports coming, going or changing their label.
//
// A drive is watched only once it has answered (drive_ready.h): the question is
// asked without waiting, and the roots are taken again when the answer comes,
// so a drive that does not answer never holds the watching thread, or the
// window, up.
//
// Folders on slow drives (network, FUSE, removable) outside the watched roots
// are left out of the priority folders: they would not be watched anyway, and
// handing them over would have the GUI thread look at them.
//
// Several changes of the priority folders in a row (a branch opened on the way
// to a node, a rebuild) reach the thread once, when the last TBatch ends.
//
// GUI thread only; the notification thread is stopped in Stop or the destructor.
#include "shell/ops/mount_monitor.h"
#include "shell/ui/folder_watcher.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TVelShTreeWatcher : public QObject {
    Q_OBJECT
public:
    // priority: the folders the user sees, asked for whenever they may have changed.
    TVelShTreeWatcher(std::uint8_t filter, std::function<std::vector<std::string>()> priority,
                      QObject* parent = nullptr);
    ~TVelShTreeWatcher() override;

    TShFolderWatcher& Folders() { return watcher_; }
    TShNotifyThread* Thread() const { return watcher_.Thread(); }
    void Stop();
    // The drive roots watched (or to be watched once notification resumes).
    const std::vector<std::string>& Roots() const { return roots_; }
    // Takes the drive roots there are now.
    void TakeDrives();
    void PriorityChanged();

    class TBatch {
    public:
        explicit TBatch(TVelShTreeWatcher& watcher) : watcher_(watcher) { ++watcher_.hold_; }
        ~TBatch() {
            if (--watcher_.hold_ == 0 && watcher_.dirty_)
                watcher_.PriorityChanged();
        }
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;

    private:
        TVelShTreeWatcher& watcher_;
    };

    // The monitor whose drive changes are followed; by default its own. Null:
    // none. A monitor given stays the caller's.
    TShMountMonitor* MountMonitor() const { return monitor_; }
    void SetMountMonitor(TShMountMonitor* monitor);

signals:
    void foldersChanged();
    // The drives changed; id is the drive's absolute ID (empty when unknown),
    // text what its node shows now.
    void drivesChanged(const QByteArray& id, const QString& text);

private:
    std::vector<std::string> driveRoots();

    TShFolderWatcher watcher_;
    std::function<std::vector<std::string>()> priority_;
    std::vector<std::string> roots_;
    std::unique_ptr<TShMountMonitor> ownMonitor_;
    QPointer<TShMountMonitor> monitor_;
    int hold_ = 0;
    bool dirty_ = false;
    bool asking_ = false; // a drive's answer is awaited
};

} // namespace kelvora

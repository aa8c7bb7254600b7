#include "shell/ui/tree_watcher.h"

#include "shell/items/drive_ready.h"
#include "shell/items/mounts.h"
#include "shell/notify/notify_filter.h"

#include <algorithm>

namespace kelvora {

TVelShTreeWatcher::TVelShTreeWatcher(std::uint8_t filter,
                                     std::function<std::vector<std::string>()> priority,
                                     QObject* parent)
    : QObject(parent), watcher_(filter, true), priority_(std::move(priority)) {
    connect(&watcher_, &TShFolderWatcher::folderChanged, this,
            [this](const std::string&) { emit foldersChanged(); });
    connect(&TShReadinessAnswers::instance(), &TShReadinessAnswers::answered, this, [this] {
        if (asking_)
            TakeDrives();
    });
    roots_ = driveRoots();
    watcher_.SetFolders(roots_);
    ownMonitor_ = std::make_unique<TShMountMonitor>();
    SetMountMonitor(ownMonitor_.get());
}

TVelShTreeWatcher::~TVelShTreeWatcher() {
    Stop();
}

void TVelShTreeWatcher::Stop() {
    watcher_.Stop();
}

std::vector<std::string> TVelShTreeWatcher::driveRoots() {
    asking_ = false;
    std::vector<std::string> roots;
    for (const TDrive& drive : ShownDrives()) {
        if (drive.kind != TDriveKind::Fixed && drive.kind != TDriveKind::CdRom)
            continue;
        // A drive that does not answer would hold the watching thread up.
        const TShReadiness answer = ShDriveReadiness(drive.mountPoint);
        asking_ = asking_ || answer == TShReadiness::Asking;
        if (answer == TShReadiness::Ready)
            roots.push_back(drive.mountPoint);
    }
    if (roots.size() >= static_cast<std::size_t>(TShNotifyThread::kMaxFolders))
        roots.resize(TShNotifyThread::kMaxFolders - 1);
    return roots;
}

void TVelShTreeWatcher::TakeDrives() {
    std::vector<std::string> roots = driveRoots();
    if (roots == roots_)
        return;
    roots_ = std::move(roots);
    watcher_.SetFolders(roots_);
}

void TVelShTreeWatcher::PriorityChanged() {
    if (hold_ > 0) {
        dirty_ = true;
        return;
    }
    dirty_ = false;
    if (!priority_)
        return;
    std::vector<std::string> folders = priority_();
    // Priority only orders the watches below the roots. A folder on a slow drive
    // outside them would gain nothing and cost a look at it on this thread.
    std::erase_if(folders, [this](const std::string& folder) {
        if (!ShOnSlowDrive(folder))
            return false;
        // Watched only when a root on a slow drive (a disc's) holds it: a local
        // root's watches stop at the mount.
        return std::none_of(roots_.begin(), roots_.end(), [&](const std::string& root) {
            return ShOnSlowDrive(root) && folder.starts_with(root) &&
                   (folder.size() == root.size() || root.back() == '/' ||
                    folder[root.size()] == '/');
        });
    });
    watcher_.SetPriorityFolders(folders);
}

void TVelShTreeWatcher::SetMountMonitor(TShMountMonitor* monitor) {
    if (monitor == monitor_)
        return;
    if (monitor_)
        disconnect(monitor_, nullptr, this, nullptr);
    if (ownMonitor_ && monitor != ownMonitor_.get())
        ownMonitor_.reset();
    monitor_ = monitor;
    if (!monitor)
        return;
    const auto arrived = [this](const QByteArray& id, const QString& label, const QString& drive) {
        emit drivesChanged(id, ShVolumeArrivalText(label, drive));
    };
    connect(monitor, &TShMountMonitor::volumeArrived, this, arrived);
    // A new label shows as a medium that arrived.
    connect(monitor, &TShMountMonitor::volumeChanged, this, arrived);
    connect(monitor, &TShMountMonitor::volumeRemoved, this,
            [this](const QByteArray& id, const QString& drive) {
                emit drivesChanged(id, ShVolumeRemovalText(drive));
            });
}

} // namespace kelvora

#include "shell/items/drive_ready.h"

#include "shell/items/mounts.h"
#include "shell/items/shell_item.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>

namespace kelvora {

namespace {

struct Probe {
    std::mutex m;
    std::condition_variable cv;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool done = false;
    bool result = false;
};

struct Answer {
    bool ready = false;
    std::chrono::steady_clock::time_point at;
};

struct Probes {
    std::mutex m;
    std::map<std::string, std::shared_ptr<Probe>> inFlight; // by kind and path
    std::map<std::string, Answer> answers;                  // of questions asked without waiting
};

// Set once the GUI thread has made the notifier; helper threads only read it.
std::atomic<TShReadinessAnswers*> notifier{nullptr};

void tellGuiThread() {
    if (TShReadinessAnswers* answers = notifier.load())
        QMetaObject::invokeMethod(
            answers, [answers] { emit answers->answered(); }, Qt::QueuedConnection);
}

Probes& probes() {
    static Probes* p = new Probes; // never destroyed: helper threads may outlive main
    return *p;
}

// Asks question on a helper thread (or joins the helper already asking it) and
// waits for the answer up to the time limit; without waiting (wait false), a
// question whose answer is not at hand answers Asking.
TShReadiness askWithin(const std::string& key, std::function<bool()> question, int timeoutMs,
                       bool wait) {
    Probes& all = probes();
    std::shared_ptr<Probe> probe;
    const auto limit = std::chrono::milliseconds(std::max(timeoutMs, 0));
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard guard(all.m);
        if (!wait) {
            auto known = all.answers.find(key);
            if (known != all.answers.end() && now - known->second.at < limit)
                return known->second.ready ? TShReadiness::Ready : TShReadiness::NotReady;
        }
        auto it = all.inFlight.find(key);
        if (it != all.inFlight.end()) {
            probe = it->second;
            // Already unanswered for a whole time limit: known to hang, and asking
            // again must not hold the window up once more.
            if (now - probe->started >= limit)
                return TShReadiness::NotReady;
        } else {
            if (all.inFlight.size() >= static_cast<std::size_t>(kMaxHungProbes))
                return TShReadiness::NotReady;
            probe = std::make_shared<Probe>();
            all.inFlight.emplace(key, probe);
            std::thread([key, probe, question = std::move(question)] {
                const bool result = question();
                {
                    std::lock_guard done(probe->m);
                    probe->result = result;
                    probe->done = true;
                }
                probe->cv.notify_all();
                Probes& owner = probes();
                {
                    std::lock_guard forget(owner.m);
                    auto found = owner.inFlight.find(key);
                    if (found != owner.inFlight.end() && found->second == probe)
                        owner.inFlight.erase(found);
                    owner.answers[key] = {result, std::chrono::steady_clock::now()};
                }
                tellGuiThread();
            }).detach();
            if (!wait) {
                // A helper that never returns says nothing: the time limit does.
                TShReadinessAnswers& answers = TShReadinessAnswers::instance();
                QTimer::singleShot(limit + std::chrono::milliseconds(10), &answers,
                                   [&answers] { emit answers.answered(); });
            }
        }
    }
    if (!wait)
        return TShReadiness::Asking;
    std::unique_lock lock(probe->m);
    probe->cv.wait_until(lock, probe->started + limit, [&] { return probe->done; });
    return probe->done && probe->result ? TShReadiness::Ready : TShReadiness::NotReady;
}

bool isReady(TShReadiness answer) {
    return answer == TShReadiness::Ready;
}

TShReadiness readiness(bool ready) {
    return ready ? TShReadiness::Ready : TShReadiness::NotReady;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Reading the mount table never touches the mounted file systems.
std::vector<TMountEntry> mountTable() {
    std::ifstream in(DriveSources().mountInfo, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

// File systems on local disks and in memory answer, or fail, at once: they are
// asked on the calling thread, without a helper.
bool answersAtOnce(const std::string& fsType) {
    static constexpr std::string_view kLocal[] = {
        "ext2", "ext3",     "ext4",   "xfs",   "btrfs", "f2fs",    "jfs",      "reiserfs",
        "zfs",  "bcachefs", "nilfs2", "tmpfs", "ramfs", "overlay", "squashfs", "erofs"};
    return std::find(std::begin(kLocal), std::end(kLocal), fsType) != std::end(kLocal);
}

// The mount that holds a path: its mount point and file system type.
struct TMountOf {
    std::string point;
    std::string fsType;
};

// The mount that holds path, from the path alone: the deepest mount point that
// is path or above it. Without an entry for "/", the root counts as local.
TMountOf mountOf(const std::string& path) {
    TMountOf best{"/", "ext4"};
    std::size_t depth = 0;
    for (TMountEntry& m : mountTable()) {
        const std::string& point = m.mountPoint;
        const bool holds =
            point == "/" ||
            (path.starts_with(point) && (path.size() == point.size() || path[point.size()] == '/'));
        if (holds && point.size() >= depth) {
            depth = point.size();
            best = {std::move(m.mountPoint), std::move(m.fsType)};
        }
    }
    return best;
}

TShReadiness driveAnswers(const TMountOf& mount, int timeoutMs, bool wait) {
    const std::string path = mount.point;
    const auto question = [path] {
        struct statvfs vfs;
        return ::statvfs(path.c_str(), &vfs) == 0;
    };
    return answersAtOnce(mount.fsType) ? readiness(question())
                                       : askWithin("drive:" + path, question, timeoutMs, wait);
}

TShReadiness driveReadiness(const std::string& mountPoint, int timeoutMs, bool wait) {
    const std::string path = withoutTrailingSlash(mountPoint);
    if (path.empty() || path[0] != '/')
        return TShReadiness::NotReady;
    const TMountOf mount = mountOf(path);
    return mount.point == path ? driveAnswers(mount, timeoutMs, wait) : TShReadiness::NotReady;
}

TShReadiness folderReadiness(const std::string& path, int timeoutMs, bool wait) {
    if (path.empty() || path[0] != '/')
        return TShReadiness::NotReady;
    const auto question = [path] {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    // Folders of a drive that does not answer share its one question, so that a
    // hung drive costs one time limit rather than one per folder.
    const TMountOf mount = mountOf(withoutTrailingSlash(path));
    if (answersAtOnce(mount.fsType))
        return readiness(question());
    const TShReadiness drive = driveAnswers(mount, timeoutMs, wait);
    if (drive != TShReadiness::Ready)
        return drive;
    return askWithin("folder:" + path, question, timeoutMs, wait);
}

TShReadiness itemReadiness(TVelShData& item, int timeoutMs, bool wait) {
    std::string path;
    if (!item.GetPath(path))
        return TShReadiness::Ready;
    // A drive root is recognised from its ID alone, without touching the drive.
    PCItemIDList id = item.GetAbsoluteID();
    if (TVelShID::IDCount(id) == 2 && TVelShID::IsUnderMyComputer(id))
        return driveReadiness(path, timeoutMs, wait);
    return folderReadiness(path, timeoutMs, wait);
}

} // namespace

bool ShDriveReady(const std::string& mountPoint, int timeoutMs) {
    return isReady(driveReadiness(mountPoint, timeoutMs, true));
}

bool ShFolderReady(const std::string& path, int timeoutMs) {
    return isReady(folderReadiness(path, timeoutMs, true));
}

bool ShItemReady(TVelShData& item, int timeoutMs) {
    return isReady(itemReadiness(item, timeoutMs, true));
}

TShReadiness ShDriveReadiness(const std::string& mountPoint) {
    return driveReadiness(mountPoint, kDriveReadyTimeoutMs, false);
}

TShReadiness ShFolderReadiness(const std::string& path) {
    return folderReadiness(path, kDriveReadyTimeoutMs, false);
}

TShReadiness ShItemReadiness(TVelShData& item) {
    return itemReadiness(item, kDriveReadyTimeoutMs, false);
}

bool ShOnSlowDrive(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return false;
    return !answersAtOnce(mountOf(withoutTrailingSlash(path)).fsType);
}

TShReadinessAnswers& TShReadinessAnswers::instance() {
    // Made by the GUI thread on its first question; it lives as long as the program.
    static TShReadinessAnswers* answers = [] {
        auto* made = new TShReadinessAnswers;
        notifier.store(made);
        return made;
    }();
    return *answers;
}

} // namespace kelvora

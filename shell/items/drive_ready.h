#pragma once
// Whether a drive or folder can be opened, asked without letting a hung network
// mount or a drive without a medium block the window.
//
// Drives of local disks (ext4, xfs, btrfs, tmpfs and the like, as the mount
// table says) answer or fail at once and are asked directly. Any other drive
// (network, FUSE, optical and removable media) is asked on a helper thread, and
// the question is given up after the time limit; the answer is then "not
// ready". A question that never returns (a hard NFS mount whose server is gone)
// keeps its helper thread blocked in the kernel: later questions about the same
// path wait for that one instead of starting another, and once it has gone
// unanswered for a whole time limit they answer "not ready" at once. A folder
// is asked about only after the drive that holds it has answered, so all the
// folders of a hung drive share its one question. At most kMaxHungProbes
// questions are outstanding at once (beyond that the answer is "not ready" at
// once). Safe to call from any thread.
//
// The window asks without waiting (ShDriveReadiness and the like): a question
// that needs a helper answers "asking" at once, and when its helper has the
// answer, or its time is up, TShReadinessAnswers tells the GUI thread, where
// asking again gets the answer (kept for a time limit). Those functions and
// the notifier belong to the GUI thread.
#include <QObject>
#include <string>

namespace kelvora {

class TVelShData;

inline constexpr int kDriveReadyTimeoutMs = 2000;
inline constexpr int kMaxHungProbes = 16;

// The drive mounted at mountPoint is in the mount table and answers statvfs.
bool ShDriveReady(const std::string& mountPoint, int timeoutMs = kDriveReadyTimeoutMs);
// path is an existing folder (links followed) and answers in time.
bool ShFolderReady(const std::string& path, int timeoutMs = kDriveReadyTimeoutMs);
// What opening an item checks: a drive root (itRootDrive) must be ready, an
// item with a file-system path must be a folder that answers; others (virtual
// folders) always are.
bool ShItemReady(TVelShData& item, int timeoutMs = kDriveReadyTimeoutMs);

enum class TShReadiness { Ready, NotReady, Asking };

// The same questions without waiting.
TShReadiness ShDriveReadiness(const std::string& mountPoint);
TShReadiness ShFolderReadiness(const std::string& path);
TShReadiness ShItemReadiness(TVelShData& item);

// path lies on a drive of the kind asked on a helper thread (not a local disk:
// network, FUSE, optical, removable), so that reading its folders may take
// long. Reads only the mount table, never the drive. Any thread.
bool ShOnSlowDrive(const std::string& path);

// Tells the GUI thread that a question asked without waiting has its answer
// (or is known to hang): whoever got "asking" asks again.
class TShReadinessAnswers : public QObject {
    Q_OBJECT
public:
    static TShReadinessAnswers& instance();

signals:
    void answered();

private:
    TShReadinessAnswers() = default;
};

} // namespace kelvora

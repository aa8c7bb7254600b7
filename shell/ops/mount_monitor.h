#pragma once
// TShMountMonitor: tells the folder tree when drives come, go or are relabelled,
// so that they show without a restart.
//
// The kernel's mount table (/proc/self/mountinfo) signals every mount and
// unmount as an exceptional condition on its descriptor; a mount table given as
// an ordinary file (tests, DriveSources) is watched as a file instead. Labels
// change without a mount, so the by-label folder is watched as well. A burst of
// changes is read once, kQuietMs after the last, and compared with the drives
// shown before (mounts.h decides which mounts are shown).
//
// GUI thread only: signals are emitted from the event loop.
#include "base/unique_fd.h"
#include "shell/items/mounts.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

namespace kelvora {

// The texts a drive's tree node takes when a medium arrives ("%S (%s)", the
// label in lower case with a single-byte first letter in upper case, then the
// drive) and when it is removed (" (%s)").
QString ShVolumeArrivalText(const QString& label, const QString& drive);
QString ShVolumeRemovalText(const QString& drive);

// The absolute ID of the drive mounted at mountPoint, as bytes.
QByteArray ShDriveIDBytes(const std::string& mountPoint);

class TShMountMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietMs = 200;

    explicit TShMountMonitor(QObject* parent = nullptr);
    ~TShMountMonitor() override;

    // The drives as last read.
    const std::vector<TDrive>& Drives() const { return drives_; }
    // Reads the table now and reports what changed since the last reading.
    void Rescan();

signals:
    // id: the drive's absolute ID (ShDriveIDBytes); label: its volume label, else
    // the last part of its mount point; drive: its mount point.
    void volumeArrived(const QByteArray& id, const QString& label, const QString& drive);
    void volumeRemoved(const QByteArray& id, const QString& drive);
    // Same mount point, another label, file system, kind or write protection.
    void volumeChanged(const QByteArray& id, const QString& label, const QString& drive);

private:
    void watch();
    void changed();
    void rearmKernelTable();

    std::vector<TDrive> drives_;
    QTimer* quiet_;
    UniqueFd tableFd_;
    QSocketNotifier* kernelTable_ = nullptr;
    QFileSystemWatcher* files_ = nullptr;
};

} // namespace kelvora

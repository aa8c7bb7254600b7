#include "shell/ops/mount_monitor.h"

#include "base/codepage.h"
#include "shell/items/id_list.h"
#include "shell/items/virtual_folders.h"

#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace kelvora {

namespace {

QString labelOf(const TDrive& drive) {
    return toDisplayQ(ShDriveDisplayName(drive));
}

bool sameLook(const TDrive& a, const TDrive& b) {
    return a.label == b.label && a.fsType == b.fsType && a.kind == b.kind &&
           a.readOnly == b.readOnly;
}

const TDrive* findDrive(const std::vector<TDrive>& drives, const std::string& mountPoint) {
    for (const TDrive& d : drives) {
        if (d.mountPoint == mountPoint)
            return &d;
    }
    return nullptr;
}

} // namespace

QString ShVolumeArrivalText(const QString& label, const QString& drive) {
    QString shown = label.toLower();
    if (!shown.isEmpty() && shown[0].unicode() < 0x80)
        shown[0] = shown[0].toUpper();
    return QStringLiteral("%1 (%2)").arg(shown, drive);
}

QString ShVolumeRemovalText(const QString& drive) {
    return QStringLiteral(" (%1)").arg(drive);
}

QByteArray ShDriveIDBytes(const std::string& mountPoint) {
    TIDListPtr computer(IDMakeVirtual(TShVirtualFolder::Computer));
    TIDListPtr drive(IDMakeItem(TShItemKind::Drive, mountPoint));
    TIDListPtr id(computer && drive ? TVelShID::IDConcat(computer.get(), drive.get()) : nullptr);
    if (!id)
        return {};
    return QByteArray(reinterpret_cast<const char*>(IDBytes(id.get())), TVelShID::IDSize(id.get()));
}

TShMountMonitor::TShMountMonitor(QObject* parent) : QObject(parent), quiet_(new QTimer(this)) {
    quiet_->setSingleShot(true);
    quiet_->setInterval(kQuietMs);
    connect(quiet_, &QTimer::timeout, this, &TShMountMonitor::Rescan);
    drives_ = ShownDrives();
    watch();
}

TShMountMonitor::~TShMountMonitor() {
    delete kernelTable_;
}

void TShMountMonitor::watch() {
    const TDriveSources sources = DriveSources();
    const QString table = toQ(sources.mountInfo);
    if (table.startsWith(QLatin1String("/proc/"))) {
        tableFd_.reset(::open(sources.mountInfo.c_str(), O_RDONLY | O_CLOEXEC));
        if (tableFd_.valid()) {
            rearmKernelTable();
            kernelTable_ = new QSocketNotifier(tableFd_.get(), QSocketNotifier::Exception, this);
            connect(kernelTable_, &QSocketNotifier::activated, this, [this] {
                rearmKernelTable();
                changed();
            });
        }
    }
    files_ = new QFileSystemWatcher(this);
    if (!kernelTable_) {
        // A table file may be replaced rather than rewritten: its folder tells.
        files_->addPath(table);
        const qsizetype slash = table.lastIndexOf(QLatin1Char('/'));
        if (slash > 0)
            files_->addPath(table.left(slash));
    }
    files_->addPath(toQ(sources.byLabel));
    connect(files_, &QFileSystemWatcher::fileChanged, this, &TShMountMonitor::changed);
    connect(files_, &QFileSystemWatcher::directoryChanged, this, &TShMountMonitor::changed);
}

// The kernel signals a change until the table has been read again to its end.
void TShMountMonitor::rearmKernelTable() {
    char buffer[4096];
    ::lseek(tableFd_.get(), 0, SEEK_SET);
    while (::read(tableFd_.get(), buffer, sizeof buffer) > 0) {
    }
}

void TShMountMonitor::changed() {
    // A file that was replaced leaves the watch: watch the new one.
    const QString table = toQ(DriveSources().mountInfo);
    if (!kernelTable_ && !files_->files().contains(table))
        files_->addPath(table);
    quiet_->start();
}

void TShMountMonitor::Rescan() {
    quiet_->stop();
    std::vector<TDrive> now = ShownDrives();
    const std::vector<TDrive> before = std::exchange(drives_, now);
    for (const TDrive& old : before) {
        if (!findDrive(now, old.mountPoint))
            emit volumeRemoved(ShDriveIDBytes(old.mountPoint), toDisplayQ(old.mountPoint));
    }
    for (const TDrive& d : now) {
        const TDrive* old = findDrive(before, d.mountPoint);
        if (!old)
            emit volumeArrived(ShDriveIDBytes(d.mountPoint), labelOf(d), toDisplayQ(d.mountPoint));
        else if (!sameLook(*old, d))
            emit volumeChanged(ShDriveIDBytes(d.mountPoint), labelOf(d), toDisplayQ(d.mountPoint));
    }
}

} // namespace kelvora

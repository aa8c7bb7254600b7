#pragma once
// The drives under the computer: "/" and the mounts a desktop shows, read from
// the kernel's mount table and classified from sysfs.
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// One line of /proc/self/mountinfo (mount point and root with escapes decoded).
struct TMountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;
    std::string mountPoint;
    std::string options; // per-mount options
    std::string fsType;
    std::string source;
    std::string superOptions;
};
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

enum class TDriveKind { Fixed, Removable, CdRom, Network };

struct TDrive {
    std::string mountPoint;
    std::string fsType;
    TDriveKind kind = TDriveKind::Fixed;
    bool readOnly = false;
    std::string label; // the file system's volume label; empty when it has none
};

// Where the mount table and sysfs are read from; tests point them at fake trees.
struct TDriveSources {
    std::string mountInfo = "/proc/self/mountinfo";
    std::string sysfsRoot = "/sys";
    std::string byLabel = "/dev/disk/by-label"; // udev's links from labels to devices
};
void SetDriveSources(const TDriveSources& sources);
TDriveSources DriveSources();

// Whether a desktop would show the mount: not a system file system, no hidden
// folder in its path, and under /media/, /run/media/USER/ or the home folder
// (x-gvfs-show and x-gvfs-hide override).
bool ShouldShowMount(const TMountEntry& mount, const std::string& home, const std::string& user);
// CD-ROM: iso9660/udf or an sr* device; network: remote file systems;
// removable: sysfs "removable" is 1, or the device hangs below usb or mmc.
TDriveKind ClassifyMount(const TMountEntry& mount, const std::string& sysfsRoot);

// The label of the block device a mount comes from, from the by-label links
// (whose names escape bytes as \xHH); empty when no link names the device.
std::string VolumeLabel(const TMountEntry& mount, const std::string& byLabelDir);

// "/" first, then the shown mounts in table order (the last mount on a path wins).
// The table is read on every call; it is classified again only when it changed.
std::vector<TDrive> ShownDrives();
// The shown drive mounted exactly at mountPoint.
bool FindShownDrive(std::string_view mountPoint, TDrive& drive);

} // namespace kelvora

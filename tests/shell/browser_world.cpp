#include "tests/shell/browser_world.h"

#include "shell/items/file_list.h"
#include "shell/items/mounts.h"

#include <filesystem>
#include <sstream>

namespace kelvora::test {

BrowserWorld::BrowserWorld() {
    env_.set("HOME", home());
    env_.set("USER", "user");
    env_.set("XDG_CONFIG_HOME", home() + "/.config");
    env_.set("XDG_DATA_HOME", home() + "/.local/share");
    env_.set("XDG_CACHE_HOME", home() + "/.cache");
    makeDir(desktop());
    makeFile(home() + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n");
    makeDir(home() + "/.local/share/Trash/files");
    makeDir(home() + "/.local/share/Trash/info");

    // sda1: a fixed disk's partition; sdb1: on a USB stick.
    const std::string sys = dir_.file("sys");
    const std::string ata =
        "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    const std::string usb =
        "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    makeFile(sys + "/" + ata + "/removable", "0\n");
    makeFile(sys + "/" + ata + "/sda1/partition", "1\n");
    makeFile(sys + "/" + usb + "/removable", "0\n");
    makeFile(sys + "/" + usb + "/sdb1/partition", "1\n");
    makeLink("../../" + ata + "/sda1", sys + "/dev/block/8:1");
    makeLink("../../" + usb + "/sdb1", sys + "/dev/block/8:17");
    dir_.write("mountinfo", "27 1 8:17 / / rw,relatime - ext4 /dev/sdb1 rw\n"
                            "60 27 8:1 / " +
                                drive() + " rw,relatime,x-gvfs-show - ext4 /dev/sda1 rw\n");
    TDriveSources sources;
    sources.mountInfo = dir_.file("mountinfo");
    sources.sysfsRoot = sys;
    sources.byLabel = makeDir(dir_.file("by-label"));
    SetDriveSources(sources);
}

BrowserWorld::~BrowserWorld() {
    SetDriveSources(TDriveSources());
}

std::string BrowserWorld::addOpticalDrive(const std::string& name, bool withDisc) const {
    const std::string mountPoint = drive() + "/" + name;
    if (withDisc)
        makeDir(mountPoint + "/DCIM");
    makeFile(dir_.file("dev/sr0"));
    const std::string table = readFile(dir_.file("mountinfo"));
    dir_.write("mountinfo", table + "61 27 11:0 / " + mountPoint + " ro,x-gvfs-show - iso9660 " +
                                dir_.file("dev/sr0") + " ro\n");
    return mountPoint;
}

void BrowserWorld::labelOpticalDrive(const std::string& label) const {
    makeLink("../dev/sr0", dir_.file("by-label/" + label));
}

void BrowserWorld::removeDrive(const std::string& mountPoint) const {
    std::istringstream in(readFile(dir_.file("mountinfo")));
    std::string table, line;
    while (std::getline(in, line)) {
        if (line.find(" " + mountPoint + " ") == std::string::npos)
            table += line + "\n";
    }
    dir_.write("mountinfo", table);
}

void BrowserWorld::addDrive(const std::string& mountPoint, const std::string& fsType) const {
    const std::string table = readFile(dir_.file("mountinfo"));
    dir_.write("mountinfo", table + "62 27 0:99 / " + mountPoint + " rw,x-gvfs-show - " + fsType +
                                " server:/share rw\n");
}

void BrowserWorld::removeAll(const std::string& path) {
    std::filesystem::remove_all(path);
}

TIDListPtr BrowserWorld::homeID(std::initializer_list<std::string> names) {
    TIDListPtr id(IDMakeVirtual(TShVirtualFolder::Home));
    for (const std::string& name : names) {
        TIDListPtr item(IDMakeItem(TShItemKind::Entry, name));
        id.reset(TVelShID::IDConcat(id.get(), item.get()));
    }
    return id;
}

TIDListPtr BrowserWorld::parse(const std::string& path) {
    PItemIDList id = nullptr;
    TVelShID::IDParse(path, id);
    return TIDListPtr(id);
}

long BrowserWorld::liveIDs() {
    TVelShFileList::FreeReplacedRows(); // rows a reading replaced go between events
    return TShellAllocator::LiveBlocks();
}

} // namespace kelvora::test

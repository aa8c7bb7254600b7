#include "tests/shell/items/namespace_fixture.h"

#include "shell/items/file_list.h"
#include "shell/items/mounts.h"


namespace kelvora::test {

void NamespaceFixture::SetUp() {
    liveIDs_ = TShellAllocator::LiveBlocks();
    env_.set("HOME", home());
    env_.set("USER", "user");
    env_.set("XDG_CONFIG_HOME", home() + "/.config");
    env_.set("XDG_DATA_HOME", home() + "/.local/share");
    env_.set("XDG_CACHE_HOME", home() + "/.cache");
    // The system's data folders stay last: the MIME database lives there.
    env_.set("XDG_DATA_DIRS", root_.file("usr/share") + ":/usr/local/share:/usr/share");
    env_.set("XDG_CONFIG_DIRS", root_.file("etc/xdg"));
    makeDir(home());
    makeDir(desktop());
    makeFile(home() + "/.config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                                 "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
                                                 "XDG_TEMPLATES_DIR=\"$HOME/テンプレート\"\n"
                                                 "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    makeDir(trash() + "/files");
    makeDir(trash() + "/info");

    // sysfs: sda1 a fixed disk's partition, sdb1 on a USB stick, sr0 an optical drive.
    const std::string sys = root_.file("sys");
    const std::string ata =
        "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    const std::string usb =
        "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    const std::string sr =
        "devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sr0";
    makeFile(sys + "/" + ata + "/removable", "0\n");
    makeFile(sys + "/" + ata + "/sda1/partition", "1\n");
    makeFile(sys + "/" + usb + "/removable", "0\n"); // many sticks say 0: the bus decides
    makeFile(sys + "/" + usb + "/sdb1/partition", "1\n");
    makeFile(sys + "/" + sr + "/removable", "1\n");
    makeLink("../../" + ata + "/sda1", sys + "/dev/block/8:1");
    makeLink("../../" + usb + "/sdb1", sys + "/dev/block/8:17");
    makeLink("../../" + sr, sys + "/dev/block/11:0");

    makeDir(usbMount());
    makeDir(cdMount());
    makeDir(dataMount());
    // The blank in the USB stick's mount point is escaped as the kernel does.
    std::string usbEscaped = usbMount();
    usbEscaped.replace(usbEscaped.find(' '), 1, "\\040");
    writeMountInfo("27 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                   "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                   "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
                   "60 27 8:17 / " +
                   usbEscaped + " rw,nosuid shared:40 - vfat /dev/sdb1 rw\n" + "61 27 11:0 / " +
                   cdMount() + " ro,nosuid - iso9660 /dev/sr0 ro\n" + "62 27 8:1 /data " +
                   dataMount() + " rw - ext4 /dev/sda1 rw\n" + "63 27 0:50 / " + home() +
                   "/.cache/doc rw - fuse.portal portal rw\n");
    TDriveSources sources;
    sources.mountInfo = root_.file("mountinfo");
    sources.sysfsRoot = sys;
    SetDriveSources(sources);
}

void NamespaceFixture::TearDown() {
    SetDriveSources(TDriveSources());
    TVelShFileList::FreeReplacedRows(); // rows a reading replaced go between events
    EXPECT_EQ(TShellAllocator::LiveBlocks(), liveIDs_) << "ID lists leaked";
}

void NamespaceFixture::trashFile(const std::string& name, const std::string& originalPath,
                                 std::string_view deletionDate) const {
    makeFile(trash() + "/files/" + name, "trashed");
    makeFile(trash() + "/info/" + name + ".trashinfo",
             "[Trash Info]\nPath=" + originalPath + "\nDeletionDate=" + std::string(deletionDate) +
                 "\n");
}

void NamespaceFixture::writeMountInfo(const std::string& text) const {
    root_.write("mountinfo", text);
}

TIDListPtr NamespaceFixture::parse(const std::string& path) {
    PItemIDList id = nullptr;
    EXPECT_TRUE(TVelShID::IDParse(path, id)) << path;
    return TIDListPtr(id);
}

} // namespace kelvora::test

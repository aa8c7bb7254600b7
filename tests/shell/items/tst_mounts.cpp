// The drives under the computer: the mount table, which mounts a desktop
// shows, and what kind of drive each is, over fake mountinfo and sysfs trees.
#include "shell/items/mounts.h"
#include "tests/shell/items/namespace_fixture.h"

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

TMountEntry mountAt(std::string mountPoint, std::string fsType = "ext4",
                    std::string options = "rw") {
    TMountEntry m;
    m.mountPoint = std::move(mountPoint);
    m.fsType = std::move(fsType);
    m.options = std::move(options);
    return m;
}

class Drives : public kelvora::test::NamespaceFixture {};

} // namespace

TEST(MountInfo, ParsesFieldsAroundOptionalOnesAndDecodesEscapes) {
    const auto mounts =
        ParseMountInfo("36 35 98:0 /mnt1 /mnt/a\\040b rw,noatime master:1 shared:2 - ext3 "
                       "/dev/root rw,errors=continue\n"
                       "bad line\n"
                       "37 35 0:3 / relative rw - proc proc rw\n"
                       "38 35 8:17 / /media/u/back\\134slash ro - vfat /dev/sdb1 ro\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].major, 98u);
    EXPECT_EQ(mounts[0].minor, 0u);
    EXPECT_EQ(mounts[0].root, "/mnt1");
    EXPECT_EQ(mounts[0].mountPoint, "/mnt/a b");
    EXPECT_EQ(mounts[0].options, "rw,noatime");
    EXPECT_EQ(mounts[0].fsType, "ext3");
    EXPECT_EQ(mounts[0].source, "/dev/root");
    EXPECT_EQ(mounts[0].superOptions, "rw,errors=continue");
    EXPECT_EQ(mounts[1].mountPoint, "/media/u/back\\slash");
    EXPECT_EQ(mounts[1].minor, 17u);
}

TEST(MountInfo, ShowsWhatADesktopShows) {
    const std::string home = "/home/u";
    EXPECT_TRUE(ShouldShowMount(mountAt("/media/u/STICK", "vfat"), home, "u"));
    EXPECT_TRUE(ShouldShowMount(mountAt("/run/media/u/STICK", "exfat"), home, "u"));
    EXPECT_TRUE(ShouldShowMount(mountAt("/home/u/nas", "nfs4"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/run/media/other/STICK"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/media/"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/home/user2/x"), home, "u")); // not below home
    EXPECT_FALSE(ShouldShowMount(mountAt("/boot"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/mnt/disk"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/home/u/.cache/doc", "fuse.portal"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/home/u/.snapshots"), home, "u")); // a hidden folder
    EXPECT_FALSE(ShouldShowMount(mountAt("/media/u/proc", "proc"), home, "u"));
    EXPECT_TRUE(ShouldShowMount(mountAt("/mnt/disk", "ext4", "rw,x-gvfs-show"), home, "u"));
    EXPECT_FALSE(ShouldShowMount(mountAt("/media/u/x", "ext4", "rw,x-gvfs-hide"), home, "u"));
    // With "/" as home nothing counts as below it.
    EXPECT_FALSE(ShouldShowMount(mountAt("/srv/data"), "/", "u"));
}

TEST_F(Drives, ClassifiesFromSysfsAndFileSystem) {
    const std::string sys = root_.file("sys");
    TMountEntry fixed = mountAt("/", "ext4");
    fixed.major = 8;
    fixed.minor = 1;
    EXPECT_EQ(ClassifyMount(fixed, sys), TDriveKind::Fixed);
    TMountEntry usb = mountAt("/media/u/s", "vfat");
    usb.major = 8;
    usb.minor = 17;
    EXPECT_EQ(ClassifyMount(usb, sys), TDriveKind::Removable);
    TMountEntry optical = mountAt("/media/u/cd", "ext2"); // by the sr device, not the file system
    optical.major = 11;
    EXPECT_EQ(ClassifyMount(optical, sys), TDriveKind::CdRom);
    EXPECT_EQ(ClassifyMount(mountAt("/media/u/dvd", "udf"), sys), TDriveKind::CdRom);
    EXPECT_EQ(ClassifyMount(mountAt("/home/u/nas", "nfs4"), sys), TDriveKind::Network);
    // An SD card reader's disk says it is removable.
    makeFile(sys + "/devices/platform/mmc0/mmc0:0001/block/mmcblk0/removable", "1\n");
    makeFile(sys + "/devices/platform/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1/partition", "1");
    makeLink("../../devices/platform/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1",
             sys + "/dev/block/179:1");
    TMountEntry sd = mountAt("/media/u/sd", "vfat");
    sd.major = 179;
    sd.minor = 1;
    EXPECT_EQ(ClassifyMount(sd, sys), TDriveKind::Removable);
    // A device sysfs does not know is taken for a fixed disk.
    TMountEntry unknown = mountAt("/media/u/x", "ext4");
    unknown.major = 259;
    EXPECT_EQ(ClassifyMount(unknown, sys), TDriveKind::Fixed);
}

TEST_F(Drives, RootFirstThenShownMountsInTableOrder) {
    const std::vector<TDrive> drives = ShownDrives();
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[0].kind, TDriveKind::Fixed);
    EXPECT_EQ(drives[1].mountPoint, usbMount());
    EXPECT_EQ(drives[1].kind, TDriveKind::Removable);
    EXPECT_EQ(drives[2].mountPoint, cdMount());
    EXPECT_EQ(drives[2].kind, TDriveKind::CdRom);
    EXPECT_TRUE(drives[2].readOnly);
    EXPECT_EQ(drives[3].mountPoint, dataMount());
    EXPECT_EQ(drives[3].kind, TDriveKind::Fixed);
    EXPECT_FALSE(drives[3].readOnly);
}

TEST_F(Drives, FollowsTheTableWhenItChanges) {
    ASSERT_EQ(ShownDrives().size(), 4u);
    // The stick is unplugged and a second file system is mounted over the data folder.
    writeMountInfo("27 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                   "62 27 8:1 /data " +
                   dataMount() + " rw - ext4 /dev/sda1 rw\n" + "70 62 8:17 / " + dataMount() +
                   " rw - vfat /dev/sdb1 rw\n");
    const std::vector<TDrive> drives = ShownDrives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].mountPoint, dataMount());
    EXPECT_EQ(drives[1].kind, TDriveKind::Removable); // the mount on top wins
    TDrive found;
    EXPECT_FALSE(FindShownDrive(usbMount(), found));
    EXPECT_TRUE(FindShownDrive(dataMount(), found));
}

TEST_F(Drives, WithoutAMountTableTheRootStillShows) {
    TDriveSources sources = DriveSources();
    sources.mountInfo = root_.file("no-such-file");
    SetDriveSources(sources);
    const std::vector<TDrive> drives = ShownDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].mountPoint, "/");
}

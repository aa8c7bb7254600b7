// Drives that come, go and are relabelled while the program runs, over a mount
// table file and a by-label folder of our own.
#include "shell/ops/mount_monitor.h"
#include "shell/items/namespace.h"
#include "shell/items/shell_item.h"
#include "tests/shell/items/namespace_fixture.h"

#include <QSignalSpy>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class MountMonitor : public kelvora::test::NamespaceFixture {
protected:
    void SetUp() override {
        NamespaceFixture::SetUp();
        TDriveSources sources = DriveSources();
        sources.byLabel = makeDir(root_.file("by-label"));
        SetDriveSources(sources);
        makeFile(root_.file("dev/sdb1"));
        makeFile(root_.file("dev/sdc1"));
        makeLink("../dev/sdb1", sources.byLabel + "/USB\\x20STICK");
        writeTable(true, false);
    }
    void writeTable(bool stick, bool card) {
        std::string escaped = usbMount();
        escaped.replace(escaped.find(' '), 1, "\\040");
        std::string text = "27 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
        if (stick)
            text += "60 27 8:17 / " + escaped + " rw - vfat " + root_.file("dev/sdb1") + " rw\n";
        if (card)
            text += "61 27 8:33 / " + home() + "/media/card rw - exfat " + root_.file("dev/sdc1") +
                    " rw\n";
        writeMountInfo(text);
    }
};

} // namespace

TEST_F(MountMonitor, ReportsArrivalsRemovalsAndNewLabels) {
    TShMountMonitor monitor;
    ASSERT_EQ(monitor.Drives().size(), 2u);
    EXPECT_EQ(monitor.Drives()[1].label, "USB STICK");
    // The drive's name in the namespace is its label.
    TVelShData stick(parse(usbMount()).release());
    std::string name;
    EXPECT_TRUE(stick.GetDisplayName(name));
    EXPECT_EQ(name, "USB STICK");

    QSignalSpy arrived(&monitor, &TShMountMonitor::volumeArrived);
    QSignalSpy removed(&monitor, &TShMountMonitor::volumeRemoved);
    QSignalSpy changed(&monitor, &TShMountMonitor::volumeChanged);

    writeTable(false, true);
    ASSERT_TRUE(arrived.wait(10000));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][0].toByteArray(), ShDriveIDBytes(usbMount()));
    EXPECT_EQ(removed[0][1].toString(), QString::fromStdString(usbMount()));
    EXPECT_EQ(arrived[0][0].toByteArray(), ShDriveIDBytes(home() + "/media/card"));
    EXPECT_EQ(arrived[0][1].toString(), QStringLiteral("card")); // no label: the folder's name
    // The ID names the drive the namespace shows.
    const QByteArray id = arrived[0][0].toByteArray();
    TVelShData card(TVelShID::IDClone(IDFromBytes(id.constData())));
    std::string path;
    EXPECT_TRUE(card.GetPath(path));
    EXPECT_EQ(path, home() + "/media/card");

    // Relabelled without a remount.
    makeLink("../dev/sdc1", root_.file("by-label/写真"));
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(changed[0][1].toString(), QStringLiteral("写真"));
    EXPECT_EQ(arrived.size(), 1);
    EXPECT_EQ(removed.size(), 1);
}

TEST(VolumeTexts, LabelInLowerCaseWithACapitalThenTheDrive) {
    EXPECT_EQ(ShVolumeArrivalText(QStringLiteral("USB STICK"), QStringLiteral("/media/u/USB")),
              QStringLiteral("Usb stick (/media/u/USB)"));
    EXPECT_EQ(ShVolumeArrivalText(QStringLiteral("写真DISC"), QStringLiteral("/media/cd")),
              QStringLiteral("写真disc (/media/cd)"));
    EXPECT_EQ(ShVolumeArrivalText(QString(), QStringLiteral("/m")), QStringLiteral(" (/m)"));
    EXPECT_EQ(ShVolumeRemovalText(QStringLiteral("/media/cd")), QStringLiteral(" (/media/cd)"));
}

// What depends on real mounts: drives that are or are not ready (a hung FUSE
// mount stands for a network server that is gone), drives that come and go
// while the monitor runs, and moves and copies across file systems.
#include "shell/items/drive_ready.h"
#include "shell/ops/drop_target.h"
#include "shell/ops/file_operation.h"
#include "shell/ops/mount_monitor.h"
#include "shell/items/shell_item.h"
#include "shell/shell_texts.h"
#include "tests/shell/ops/mount_support.h"
#include "tests/shell/ops/ops_support.h"
#include "tests/support/temp_dir.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class MountOps : public MountFixture {
protected:
    ScriptedUser user;
};

} // namespace

TEST_F(MountOps, DrivesAreReadyOnlyWhenMountedAndAnswering) {
    const std::string stick = mountTmpfs(home() + "/media/stick");
    const std::string plain = makeDir(home() + "/media/plain");
    EXPECT_TRUE(ShDriveReady(stick));
    EXPECT_TRUE(ShDriveReady(stick + "/"));
    EXPECT_FALSE(ShDriveReady(plain)); // a folder, not a mounted drive
    EXPECT_TRUE(ShDriveReady("/"));
    TVelShData drive(parse(stick).release());
    EXPECT_EQ(drive.GetItemType(), itRootDrive);
    EXPECT_TRUE(ShItemReady(drive));
    TVelShData folder(parse(makeDir(stick + "/sub")).release());
    EXPECT_TRUE(ShItemReady(folder));

    unmount(stick);
    EXPECT_FALSE(ShDriveReady(stick));
    EXPECT_FALSE(ShItemReady(drive));
    EXPECT_FALSE(ShFolderReady(stick + "/sub"));
}

TEST_F(MountOps, AHungMountIsNotReadyAndDoesNotBlock) {
    const std::string hung = mountHung(home() + "/media/nas");
    // Each question gives up after its time; the second finds the first still
    // waiting and waits on it instead of starting another.
    EXPECT_FALSE(ShDriveReady(hung, 300));
    EXPECT_FALSE(ShDriveReady(hung, 300));
    EXPECT_FALSE(ShFolderReady(hung + "/photos", 300));
    // Other drives are not held up by it.
    EXPECT_TRUE(ShDriveReady(mountTmpfs(home() + "/media/stick"), 5000));
}

TEST_F(MountOps, TheMonitorSeesRealMountsComeAndGo) {
    TShMountMonitor monitor;
    QSignalSpy arrived(&monitor, &TShMountMonitor::volumeArrived);
    QSignalSpy removed(&monitor, &TShMountMonitor::volumeRemoved);
    const std::string stick = mountTmpfs(home() + "/media/STICK");
    ASSERT_TRUE(arrived.wait(10000));
    EXPECT_EQ(arrived[0][0].toByteArray(), ShDriveIDBytes(stick));
    EXPECT_EQ(arrived[0][1].toString(), QStringLiteral("STICK"));
    unmount(stick);
    ASSERT_TRUE(removed.wait(10000));
    EXPECT_EQ(removed[0][0].toByteArray(), ShDriveIDBytes(stick));
    EXPECT_EQ(arrived.size(), 1);
}

TEST_F(MountOps, AMoveToAnotherFileSystemCopiesThenDeletesTheSource) {
    const std::string stick = mountTmpfs(home() + "/media/stick");
    makeFile(home() + "/pics/a.jpg", "A");
    makeFile(home() + "/pics/album/b.jpg", std::string(200000, 'b'));
    makeLink("b.jpg", home() + "/pics/album/link");

    // Dropped without a key: another file system, so copied.
    QMimeData data;
    data.setData(kUriListMime, ShEncodeUriList({home() + "/pics/a.jpg"}));
    TShDropTarget target(user);
    TIDListPtr stickID = parse(stick);
    EXPECT_EQ(target.DragEnter(&data, stickID.get(), Qt::NoModifier, TShDropTarget::kAllActions),
              TShDropEffect::Copy);

    const TShOperationResult r =
        runJob(TShFileOp::Move, {home() + "/pics/a.jpg", home() + "/pics/album"}, stick, user);
    EXPECT_EQ(r.done, 2);
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(readFile(stick + "/a.jpg"), "A");
    EXPECT_EQ(readFile(stick + "/album/b.jpg"), std::string(200000, 'b'));
    EXPECT_EQ(std::filesystem::read_symlink(stick + "/album/link"), "b.jpg");
    EXPECT_TRUE(namesIn(home() + "/pics").empty());
}

struct FailCase {
    const char* name;
    const char* options;
    unsigned long flags;
    TShFileOp op;
    const char* reason;
};

class FailingTarget : public MountOps, public ::testing::WithParamInterface<FailCase> {};

void PrintTo(const FailCase& row, std::ostream* out) {
    *out << row.name;
}

TEST_P(FailingTarget, LeavesNoPartialFileAndKeepsTheSource) {
    const FailCase& row = GetParam();
    const std::string disk = mountTmpfs(home() + "/media/small", row.options, row.flags);
    const std::string big = makeFile(home() + "/big.bin", std::string(400000, 'x'));
    const std::string tree = makeDir(home() + "/tree");
    makeFile(tree + "/one.txt", "1");
    makeFile(tree + "/two.bin", std::string(400000, 'y'));

    const TShOperationResult r = runJob(row.op, {big, tree}, disk, user);
    EXPECT_EQ(r.done, 1) << "the folder goes without its big file; the big file alone fails";
    ASSERT_EQ(r.errors.size(), 2);
    const QString reason = QString::fromUtf8(row.reason);
    EXPECT_TRUE(r.errors[0].endsWith(reason)) << r.errors[0].toStdString();
    // Nothing half-written, and every source still whole.
    for (const std::string& name : namesIn(disk))
        EXPECT_EQ(name.rfind(".kelvora-", 0), std::string::npos) << name;
    EXPECT_FALSE(fileExists(disk + "/big.bin"));
    EXPECT_FALSE(fileExists(disk + "/tree/two.bin"));
    EXPECT_EQ(readFile(big).size(), 400000u);
    EXPECT_EQ(readFile(tree + "/two.bin").size(), 400000u);
    EXPECT_EQ(readFile(tree + "/one.txt"), "1");
}

INSTANTIATE_TEST_SUITE_P(Targets, FailingTarget,
                         ::testing::Values(FailCase{"FullCopy", "size=256k", 0, TShFileOp::Copy,
                                                    "ディスクの空き領域が足りません。"},
                                           FailCase{"FullMove", "size=256k", 0, TShFileOp::Move,
                                                    "ディスクの空き領域が足りません。"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(MountOps, AReadOnlyDriveTakesNoDropAndFailsAWrite) {
    const std::string disk = mountTmpfs(home() + "/media/ro", "", MS_RDONLY);
    makeFile(home() + "/a.jpg", "A");
    QMimeData data;
    data.setData(kUriListMime, ShEncodeUriList({home() + "/a.jpg"}));
    TShDropTarget target(user);
    TIDListPtr diskID = parse(disk);
    EXPECT_EQ(
        target.DragEnter(&data, diskID.get(), Qt::ControlModifier, TShDropTarget::kAllActions),
        TShDropEffect::None);
    const TShOperationResult r = runJob(TShFileOp::Copy, {home() + "/a.jpg"}, disk, user);
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_EQ(r.errors[0],
              QString::fromUtf8(VelShCst::SCopyFailed)
                  .arg(QStringLiteral("a.jpg"), QStringLiteral("読み取り専用のドライブです。")));
}

// Copying, moving, linking and trashing over real folders on a real worker thread.
#include "shell/ops/file_operation.h"
#include "shell/shell_texts.h"
#include "shell/items/trash.h"
#include "tests/shell/items/namespace_fixture.h"
#include "tests/shell/ops/ops_support.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;
namespace fs = std::filesystem;

namespace {

class FileOperation : public NamespaceFixture {
protected:
    std::string src() const { return home() + "/src"; }
    std::string dst() const { return home() + "/dst"; }
    void SetUp() override {
        NamespaceFixture::SetUp();
        makeDir(src());
        makeDir(dst());
    }
    static struct stat statOf(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st;
    }
    static void setTime(const std::string& path, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 500}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    ScriptedUser user;
};

} // namespace

TEST_F(FileOperation, CopyKeepsContentsPermissionsTimesAndLinks) {
    const std::string tree = makeDir(src() + "/tree");
    makeFile(tree + "/a.txt", "alpha");
    makeFile(tree + "/sub/b.bin", std::string(300000, 'b'));
    makeDir(tree + "/empty");
    makeLink("../a.txt", tree + "/sub/link");
    ::chmod((tree + "/a.txt").c_str(), 0640);
    ::chmod((tree + "/sub/b.bin").c_str(), 0444);
    ::chmod((tree + "/sub").c_str(), 0550);
    setTime(tree + "/a.txt", 981173100);
    setTime(tree + "/sub/link", 981173200);
    setTime(tree + "/sub", 981173300);

    const TShOperationResult r = runJob(TShFileOp::Copy, {tree}, dst(), user);
    EXPECT_EQ(r.done, 1);
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(r.created, (std::vector<std::string>{dst() + "/tree"}));
    EXPECT_TRUE(user.asked.empty());

    const std::string copy = dst() + "/tree";
    EXPECT_EQ(readFile(copy + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(copy + "/sub/b.bin"), std::string(300000, 'b'));
    EXPECT_TRUE(fs::is_directory(copy + "/empty"));
    EXPECT_EQ(fs::read_symlink(copy + "/sub/link"), "../a.txt");
    for (const char* part : {"/a.txt", "/sub/b.bin", "/sub", "/sub/link", "/empty"}) {
        const struct stat a = statOf(tree + part), b = statOf(copy + part);
        EXPECT_EQ(a.st_mode, b.st_mode) << part;
        if (!S_ISDIR(a.st_mode) || std::string(part) == "/sub") {
            EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << part;
            EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << part;
        }
    }
    // Nothing temporary stays behind.
    EXPECT_EQ(namesIn(dst()), (std::vector<std::string>{"tree"}));
    EXPECT_EQ(namesIn(copy + "/sub"), (std::vector<std::string>{"b.bin", "link"}));
    ::chmod((tree + "/sub").c_str(), 0750);
    ::chmod((copy + "/sub").c_str(), 0750);
}

struct ConflictCase {
    const char* name;
    TShFileOp op;
    TShConflictAnswer::Choice choice;
    const char* kept; // what a.txt in the target holds afterwards
    bool numbered;    // "a (2).txt" holds the new file
    bool sourceRemains;
};

class Conflicts : public FileOperation, public ::testing::WithParamInterface<ConflictCase> {};

void PrintTo(const ConflictCase& row, std::ostream* out) {
    *out << row.name;
}

TEST_P(Conflicts, ANameInUseIsAskedAndNothingIsLost) {
    const ConflictCase& row = GetParam();
    makeFile(src() + "/a.txt", "new!");
    makeFile(dst() + "/a.txt", "old");
    user.answers.push_back({row.choice, false});

    const TShOperationResult r = runJob(row.op, {src() + "/a.txt"}, dst(), user);
    ASSERT_EQ(user.asked.size(), 1u);
    EXPECT_EQ(user.asked[0].source, src() + "/a.txt");
    EXPECT_EQ(user.asked[0].target, dst() + "/a.txt");
    EXPECT_EQ(user.asked[0].sourceSize, 4u);
    EXPECT_EQ(user.asked[0].targetSize, 3u);
    EXPECT_EQ(readFile(dst() + "/a.txt"), row.kept);
    EXPECT_EQ(fileExists(dst() + "/a (2).txt"), row.numbered);
    if (row.numbered) {
        EXPECT_EQ(readFile(dst() + "/a (2).txt"), "new!");
    }
    EXPECT_EQ(fileExists(src() + "/a.txt"), row.sourceRemains);
    EXPECT_EQ(r.cancelled, row.choice == TShConflictAnswer::Cancel);
    EXPECT_EQ(r.skipped, row.choice == TShConflictAnswer::Skip ? 1 : 0);
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(namesIn(dst()).size(), row.numbered ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Conflicts,
    ::testing::Values(
        ConflictCase{"CopyOverwrite", TShFileOp::Copy, TShConflictAnswer::Overwrite, "new!", false,
                     true},
        ConflictCase{"CopySkip", TShFileOp::Copy, TShConflictAnswer::Skip, "old", false, true},
        ConflictCase{"CopyNumber", TShFileOp::Copy, TShConflictAnswer::RenameWithNumber, "old",
                     true, true},
        ConflictCase{"CopyCancel", TShFileOp::Copy, TShConflictAnswer::Cancel, "old", false, true},
        ConflictCase{"MoveOverwrite", TShFileOp::Move, TShConflictAnswer::Overwrite, "new!", false,
                     false},
        ConflictCase{"MoveSkip", TShFileOp::Move, TShConflictAnswer::Skip, "old", false, true},
        ConflictCase{"MoveNumber", TShFileOp::Move, TShConflictAnswer::RenameWithNumber, "old",
                     true, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(FileOperation, FoldersMergeAndAnAnswerForAllIsAskedOnce) {
    makeFile(src() + "/f/x.txt", "new x");
    makeFile(src() + "/f/y.txt", "new y");
    makeFile(src() + "/f/w.txt", "new w");
    makeFile(dst() + "/f/x.txt", "old x");
    makeFile(dst() + "/f/y.txt", "old y");
    makeFile(dst() + "/f/z.txt", "old z");
    // The folder: put together. Then x: keep both, and the same for y.
    user.answers = {{TShConflictAnswer::Overwrite, false},
                    {TShConflictAnswer::RenameWithNumber, true}};
    const TShOperationResult r = runJob(TShFileOp::Move, {src() + "/f"}, dst(), user);
    EXPECT_EQ(user.asked.size(), 2u);
    EXPECT_TRUE(user.asked[0].sourceIsFolder && user.asked[0].targetIsFolder);
    EXPECT_EQ(namesIn(dst() + "/f"), (std::vector<std::string>{"w.txt", "x (2).txt", "x.txt",
                                                               "y (2).txt", "y.txt", "z.txt"}));
    EXPECT_EQ(readFile(dst() + "/f/x.txt"), "old x");
    EXPECT_EQ(readFile(dst() + "/f/y (2).txt"), "new y");
    EXPECT_FALSE(fileExists(src() + "/f")); // emptied, so removed
    EXPECT_EQ(r.done, 1);
}

struct CancelCase {
    const char* name;
    bool folder;
};

class Cancelling : public FileOperation, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(Cancelling, LeavesNoPartialFileBehind) {
    std::string source = makeFile(src() + "/big.bin", std::string(1 << 20, 'x'));
    if (GetParam().folder) {
        makeFile(src() + "/folder/first.txt", "complete");
        fs::rename(source, src() + "/folder/second.bin");
        source = src() + "/folder";
    }
    int blocks = 0;
    const TShOperationResult r =
        runJob(TShFileOp::Copy, {source}, dst(), user, [&](TShFileOperation& op) {
            op.setBlockSize(64 * 1024);
            op.setBlockObserver([&op, &blocks] {
                if (++blocks == 2)
                    op.Cancel(); // as the progress window's button does, mid-file
            });
        });
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.done, 0);
    EXPECT_TRUE(namesIn(dst()).empty());
    EXPECT_TRUE(fileExists(source)); // a copy never touches its source
}

INSTANTIATE_TEST_SUITE_P(Items, Cancelling,
                         ::testing::Values(CancelCase{"File", false}, CancelCase{"Folder", true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(FileOperation, MoveLinkAndTheFailuresTheUserIsTold) {
    // A move on one file system renames: the same file, not a copy.
    makeFile(src() + "/f/inner.txt", "inner");
    const ino_t inode = statOf(src() + "/f/inner.txt").st_ino;
    TShOperationResult r = runJob(TShFileOp::Move, {src() + "/f/"}, dst(), user);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(statOf(dst() + "/f/inner.txt").st_ino, inode);
    EXPECT_FALSE(fileExists(src() + "/f"));

    // Links point at the item.
    makeFile(src() + "/target.txt", "t");
    r = runJob(TShFileOp::Link, {src() + "/target.txt"}, dst(), user);
    EXPECT_EQ(fs::read_symlink(dst() + "/target.txt"), src() + "/target.txt");

    // Into itself, a missing item and a pipe: each failure has its line.
    ASSERT_EQ(::mkfifo((src() + "/pipe").c_str(), 0600), 0);
    r = runJob(TShFileOp::Copy, {dst() + "/f", src() + "/missing", src() + "/pipe"}, dst() + "/f",
               user);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(
        r.errors,
        (QStringList{QString::fromUtf8(VelShCst::SIntoItself).arg(QStringLiteral("f")),
                     QString::fromUtf8(VelShCst::SCopyFailed)
                         .arg(QStringLiteral("missing"), QStringLiteral("見つかりません。")),
                     QString::fromUtf8(VelShCst::SUnsupportedKind).arg(QStringLiteral("pipe"))}));
    EXPECT_EQ(namesIn(dst() + "/f"), (std::vector<std::string>{"inner.txt"}));
}

TEST_F(FileOperation, TrashKeepsWhereEachItemCameFrom) {
    makeFile(src() + "/写真 1.jpg", "one");
    makeFile(dst() + "/写真 1.jpg", "two");
    const TShOperationResult r =
        runJob(TShFileOp::Trash, {src() + "/写真 1.jpg", dst() + "/写真 1.jpg"}, "", user);
    EXPECT_EQ(r.done, 2);
    EXPECT_FALSE(fileExists(src() + "/写真 1.jpg"));
    EXPECT_EQ(readFile(trash() + "/files/写真 1.jpg"), "one");
    EXPECT_EQ(readFile(trash() + "/files/写真 1.jpg.2"), "two");
    TTrashInfo info;
    ASSERT_TRUE(ReadTrashInfo(trash(), "写真 1.jpg.2", info));
    EXPECT_EQ(info.originalPath, dst() + "/写真 1.jpg");
    EXPECT_GT(info.deletionTime, 0);
    EXPECT_EQ(TrashDisplayName(trash(), "写真 1.jpg.2"), "写真 1.jpg");
    EXPECT_NE(readFile(trash() + "/info/写真 1.jpg.trashinfo").find("%E5%86%99%E7%9C%9F%201.jpg"),
              std::string::npos);
}

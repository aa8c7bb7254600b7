// TShNotifyThread over real folders, real inotify and a real worker thread.
//
// That something was NOT reported is shown by ordering rather than by waiting: a
// change that should be ignored is made in one watched folder, then a change that
// must be reported in another. Both reach the one inotify queue in that order, and
// every folder that changed in a quiet period is called back when it ends, so an
// ignored change that leaked would show up at the latest with the expected one.
#include "shell/notify/notify_thread.h"
#include "tests/shell/notify/tst_notify_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace kelvora {
namespace {

using namespace kelvora::test;

struct Call {
    std::string path;
    std::vector<std::string> list;
    bool onGui;
    Clock::time_point at;
};

class NotifyThreadTest : public ::testing::Test {
protected:
    ~NotifyThreadTest() override {
        if (thread) {
            thread->Stop();
            thread.reset();
        }
    }

    std::string folder(const std::string& name) { return makeFolder(tmp.file(name)); }

    // whileSuspended runs after the settings, before the worker starts.
    void start(std::uint8_t filter, const std::vector<std::string>& folders, bool subtree = false,
               int watchLimit = InotifyWatches::kDefaultWatchLimit,
               const std::function<void()>& whileSuspended = {}) {
        thread = std::make_unique<TShNotifyThread>(
            filter, true,
            [this](TShNotifyThread* sender, const std::string& path,
                   const std::vector<std::string>& list) {
                EXPECT_EQ(sender, thread.get());
                calls.push_back({path, list, onGuiThread(), Clock::now()});
                if (onCall)
                    onCall(path);
            });
        thread->setWatchLimit(watchLimit);
        thread->SetWatchSubtree(subtree);
        thread->SetFolders(folders);
        if (whileSuspended)
            whileSuspended();
        thread->resume();
        thread->WaitReady();
    }

    std::vector<std::string> list() { return thread->Folders(); }

    std::vector<std::string> paths() const {
        std::vector<std::string> result;
        for (const Call& call : calls)
            result.push_back(call.path);
        return result;
    }

    bool waitForCalls(std::size_t n) {
        return waitUntil([&] { return calls.size() >= n; });
    }

    Watchdog watchdog;
    TempDir tmp;
    std::unique_ptr<TShNotifyThread> thread;
    std::vector<Call> calls;
    std::function<void(const std::string&)> onCall;
};

TEST_F(NotifyThreadTest, BurstOfNewFilesGivesOneCallbackAfterTheQuietPeriod) {
    const std::string a = folder("a"), b = folder("b");
    start(kNotifyFileName, {a, b});

    for (int i = 0; i < 500; ++i)
        touch(a + "file" + std::to_string(i) + ".jpg");
    const Clock::time_point last = Clock::now();
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls[0].path, a);
    EXPECT_EQ(calls[0].list, (std::vector<std::string>{a, b}));
    EXPECT_TRUE(calls[0].onGui);
    EXPECT_GE(elapsedMs(last, calls[0].at).count(), 1500);
    EXPECT_LE(elapsedMs(last, calls[0].at).count(), 2500);
    EXPECT_EQ(thread->changedPath(), a);

    touch(b + "after");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(paths(), (std::vector<std::string>{a, b}));
}

TEST_F(NotifyThreadTest, DeletedFolderIsReportedAtOnceAndLeavesTheList) {
    const std::string a = folder("a"), b = folder("b");
    folder("a/inner/deeper");
    touch(a + "file");
    touch(a + "inner/file");
    start(kNotifyFileName | kNotifyDirName, {a, b}, true);
    ASSERT_TRUE(waitUntil([&] { return thread->watchCount() == 4; }));

    const Clock::time_point removed = Clock::now();
    std::filesystem::remove_all(a);
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls[0].path, a);
    EXPECT_LT(elapsedMs(removed, calls[0].at).count(), 1000);
    EXPECT_EQ(calls[0].list, (std::vector<std::string>{b}));
    EXPECT_EQ(list(), (std::vector<std::string>{b}));

    // The deletions inside the folder do not bring a second, delayed callback.
    touch(b + "after");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(paths(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(thread->watchCount(), 1);
}

TEST_F(NotifyThreadTest, SixtySecondFolderIsAcceptedAndTheSixtyThirdRaises) {
    std::vector<std::string> folders;
    for (int i = 0; i < 63; ++i)
        folders.push_back(folder(std::string("f").append(std::to_string(100 + i))));
    start(kNotifyDirName, {});

    for (int i = 0; i < 62; ++i)
        thread->AddFolder(folders[static_cast<std::size_t>(i)]);
    try {
        thread->AddFolder(folders[62]);
        FAIL() << "the 63rd folder was accepted";
    } catch (const EShNotifyError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("監視するフォルダ数が上限を超えています。"));
    }
    thread->WaitReady();
    const std::vector<std::string> first62(folders.begin(), folders.end() - 1);
    EXPECT_EQ(list(), first62);
    EXPECT_EQ(thread->watchCount(), 62);

    // A list of 62 is refused as a whole and leaves the current list alone.
    EXPECT_THROW(thread->SetFolders(first62), EShNotifyError);
    EXPECT_EQ(list(), first62);
    const std::vector<std::string> first61(folders.begin(), folders.begin() + 61);
    thread->SetFolders(first61);
    thread->WaitReady();
    EXPECT_EQ(list(), first61);
    EXPECT_EQ(thread->watchCount(), 61);
}

TEST_F(NotifyThreadTest, FoldersAreSortedWithOneDelimiterAndMissingOnesAreDropped) {
    const std::string a = folder("a"), b = folder("b"), c = folder("c");
    touch(tmp.file("plain-file"));
    thread = std::make_unique<TShNotifyThread>(kNotifyFileName, true, nullptr);
    thread->SetFolders({c, tmp.file("b"), a, a, tmp.file("missing"), tmp.file("plain-file")});
    EXPECT_EQ(list(), (std::vector<std::string>{a, b, c}));
    thread->AddFolder(tmp.file("plain-file"));
    thread->AddFolder(tmp.file("b"));
    EXPECT_EQ(list(), (std::vector<std::string>{a, b, c}));

    // Gone before the thread registers it: dropped (and reported as gone).
    std::filesystem::remove(b);
    thread->resume();
    thread->WaitReady();
    EXPECT_EQ(list(), (std::vector<std::string>{a, c}));
    EXPECT_EQ(thread->watchCount(), 2);

    thread->RemoveFolder(tmp.file("a"));
    thread->WaitReady();
    EXPECT_EQ(list(), (std::vector<std::string>{c}));
    EXPECT_EQ(thread->watchCount(), 1);
}

TEST_F(NotifyThreadTest, UnchangedSettingsDoNotWakeTheThread) {
    const std::string a = folder("a"), b = folder("b");
    start(kNotifyFileName, {a, b});
    const int wakes = thread->wakeCount();

    thread->SetFolders({tmp.file("b"), a});
    thread->SetFilter(kNotifyFileName);
    thread->SetWatchSubtree(false);
    EXPECT_EQ(thread->wakeCount(), wakes);
    EXPECT_TRUE(thread->ready());
    EXPECT_EQ(list(), (std::vector<std::string>{a, b}));

    thread->SetFolders({a});
    EXPECT_EQ(thread->wakeCount(), wakes + 1);
    thread->WaitReady();
    EXPECT_EQ(list(), (std::vector<std::string>{a}));
    EXPECT_EQ(thread->watchCount(), 1);
}

TEST_F(NotifyThreadTest, WatchesOfUnchangedFoldersAreKept) {
    const std::string r = folder("r"), b = folder("b");
    for (const char* sub : {"r/s1", "r/s2", "r/s3"})
        folder(sub);
    start(kNotifyDirName, {r}, true);
    ASSERT_TRUE(waitUntil([&] { return thread->watchCount() == 4; }));
    const int registered = thread->registrationCount();

    thread->AddFolder(b);
    thread->WaitReady();
    EXPECT_EQ(thread->registrationCount(), registered + 1);
    EXPECT_EQ(thread->watchCount(), 5);

    thread->RemoveFolder(b);
    thread->WaitReady();
    EXPECT_EQ(thread->registrationCount(), registered + 1);
    EXPECT_EQ(thread->watchCount(), 4);
}

TEST_F(NotifyThreadTest, StopReturnsFromAnInfiniteWait) {
    start(kNotifyFileName, {});
    thread->Stop();
    EXPECT_TRUE(thread->finished());

    const std::string a = folder("a");
    TShNotifyThread watching(kNotifyFileName, false, nullptr);
    watching.SetFolders({a});
    watching.WaitReady();
    watching.Stop();
    EXPECT_TRUE(watching.finished());
}

TEST_F(NotifyThreadTest, StopDropsACallbackTheGuiThreadHasNotRun) {
    const std::string a = folder("a");
    start(kNotifyFileName, {a});
    touch(a + "file");
    // No events are processed here, so the callback stays queued.
    const Clock::time_point limit = Clock::now() + milliseconds(kEventWaitMs);
    while (!thread->busy() && Clock::now() < limit)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_TRUE(thread->busy());

    thread->Stop();
    EXPECT_TRUE(thread->finished());
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.empty());
}

// The worker hands its callbacks over and goes on: while the GUI thread is busy
// elsewhere, the changes of a second folder are still found and queued in order.
TEST_F(NotifyThreadTest, WorkerGoesOnWhileTheGuiThreadIsBusy) {
    const std::string a = folder("a"), b = folder("b");
    start(kNotifyFileName, {a, b});
    const auto changedTo = [&](const std::string& path) {
        // No events are processed: only the worker can make this come true.
        const Clock::time_point limit = Clock::now() + milliseconds(kEventWaitMs);
        while (thread->changedPath() != path && Clock::now() < limit)
            std::this_thread::sleep_for(milliseconds(10));
        return thread->changedPath() == path;
    };
    touch(a + "file");
    ASSERT_TRUE(changedTo(a));
    touch(b + "file");
    ASSERT_TRUE(changedTo(b));
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(paths(), (std::vector<std::string>{a, b}));
    EXPECT_FALSE(thread->busy());
}

TEST_F(NotifyThreadTest, CallbackMayAddFoldersAndWaitReadyReturnsInsideIt) {
    const std::string a = folder("a"), b = folder("b");
    bool returned = false;
    onCall = [&](const std::string& path) {
        if (path != a)
            return;
        thread->AddFolder(b);
        thread->WaitReady();
        returned = true;
    };
    start(kNotifyFileName, {a});
    touch(a + "file");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_TRUE(returned);
    thread->WaitReady();
    EXPECT_EQ(list(), (std::vector<std::string>{a, b}));

    touch(b + "file");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(calls[1].path, b);
    EXPECT_EQ(calls[1].list, (std::vector<std::string>{a, b}));
}

TEST_F(NotifyThreadTest, FoldersCreatedUnderASubtreeAreFollowed) {
    const std::string r = folder("r");
    start(kNotifyFileName | kNotifyDirName, {r}, true);

    // Created in one go: the deeper levels exist before the thread sees the first.
    std::filesystem::create_directories(r + "n1/n2/n3");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls[0].path, r);
    EXPECT_EQ(thread->watchCount(), 4);

    touch(r + "n1/n2/n3/file");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(paths(), (std::vector<std::string>{r, r}));
}

TEST_F(NotifyThreadTest, WatchBudgetLeavesDeeperFoldersUnwatched) {
    const std::string r = folder("r"), b = folder("b");
    for (const char* sub : {"r/s1", "r/s2", "r/s3"})
        folder(sub);
    start(kNotifyFileName, {b, r}, true, 2);
    // The roots, and s1 and s2 in name order.
    ASSERT_TRUE(waitUntil([&] { return thread->watchCount() == 4; }));

    touch(r + "s3/unseen");
    touch(b + "seen");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(paths(), (std::vector<std::string>{b}));
    EXPECT_EQ(thread->watchCount(), 4);
}

TEST_F(NotifyThreadTest, PriorityFoldersAreWatchedWhateverTheBudget) {
    const std::string r = folder("r");
    for (const char* sub : {"r/a1/x", "r/a2/x", "r/a3/x", "r/home/user/pics/deep"})
        folder(sub);
    thread = std::make_unique<TShNotifyThread>(
        kNotifyDirName, true,
        [this](TShNotifyThread*, const std::string& path, const std::vector<std::string>& list) {
            calls.push_back({path, list, onGuiThread(), Clock::now()});
        });
    thread->setWatchLimit(2);
    thread->SetPriorityFolders({r + "home/user/pics/deep"});
    thread->SetFolders({r});
    thread->resume();
    thread->WaitReady();
    // The root, the four folders down to the priority one, and the walk's two.
    ASSERT_TRUE(waitUntil([&] { return thread->watchCount() >= 5; }));
    EXPECT_EQ(thread->PriorityFolders(), (std::vector<std::string>{r + "home/user/pics/deep/"}));

    std::filesystem::create_directory(r + "home/user/pics/deep/new");
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls[0].path, r);

    // Deleted and made again, it is watched again.
    std::filesystem::remove_all(r + "home/user/pics");
    std::filesystem::create_directories(r + "home/user/pics/deep");
    ASSERT_TRUE(waitForCalls(2));
    std::filesystem::create_directory(r + "home/user/pics/deep/again");
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_EQ(calls[2].path, r);

    // Without priority the walk's budget is all there is.
    thread->SetPriorityFolders({});
    thread->WaitReady();
    EXPECT_LE(thread->watchCount(), 1 + 2 + 3);
}

// A watched folder whose path stops leading to it, other than by its own deletion.
struct VanishCase {
    const char* name;
    const char* watched; // below the test folder; "link" is a link to "real/a"
    void (*action)(const std::string& base);
    const char* movedTo; // where the watched folder lives afterwards, if anywhere
    bool stays;          // a folder stands at the path again and is watched instead
};

void renameParent(const std::string& base) {
    std::filesystem::rename(base + "p", base + "q");
}
void deleteLink(const std::string& base) {
    std::filesystem::remove(base + "link");
}
void retargetLink(const std::string& base) {
    std::filesystem::create_directory_symlink(base + "real/b", base + "link.new");
    std::filesystem::rename(base + "link.new", base + "link");
}
void PrintTo(const VanishCase& row, std::ostream* out) {
    *out << row.name;
}

class NotifyVanishTest : public NotifyThreadTest,
                         public ::testing::WithParamInterface<VanishCase> {};

TEST_P(NotifyVanishTest, IsReportedAtOnceAndLeavesTheList) {
    const VanishCase& row = GetParam();
    const std::string base = tmp.path() + "/";
    folder("p/a");
    folder("real/a");
    folder("real/b");
    std::filesystem::create_directory_symlink(base + "real/a", base + "link");
    const std::string watched = base + row.watched + "/";
    const std::string other = folder("other");
    start(kNotifyFileName, {watched, other});

    row.action(base);
    // Immediate: before a change elsewhere that waits for the quiet period.
    touch(other + "x");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(paths(), (std::vector<std::string>{watched, other}));
    const std::vector<std::string> expected =
        row.stays ? std::vector<std::string>{watched, other} : std::vector<std::string>{other};
    EXPECT_EQ(list(), expected);

    // The folder where it went is not reported under the old path.
    if (row.movedTo)
        touch(base + row.movedTo + "/y");
    touch(other + "y");
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_EQ(calls[2].path, other);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, NotifyVanishTest,
    ::testing::Values(VanishCase{"ParentRenamed", "p/a", renameParent, "q/a", false},
                      VanishCase{"LinkRemoved", "link", deleteLink, "real/a", false},
                      VanishCase{"LinkReplaced", "link", retargetLink, "real/a", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(NotifyThreadTest, AFolderMadeAgainAtAVanishedPathIsWatched) {
    const std::string base = tmp.path() + "/";
    folder("p/a");
    const std::string watched = base + "p/a/";
    onCall = [&](const std::string& path) {
        // By the time the owner hears of it, a new folder stands at the old path.
        if (path == watched && calls.size() == 1) {
            EXPECT_EQ(list(), (std::vector<std::string>{watched}));
        }
    };
    start(kNotifyFileName, {watched});
    // Both steps happen before the thread looks: it finds a folder at the path.
    {
        const TShThread::TLock hold = thread->Hold();
        std::filesystem::rename(base + "p", base + "q");
        std::filesystem::create_directories(base + "p/a");
    }
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(calls[0].path, watched);
    thread->WaitReady();
    touch(watched + "new");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(calls[1].path, watched);
}

struct FilterCase {
    const char* name;
    std::uint8_t filter;
    void (*ignored)(const std::string& folder);
    void (*reported)(const std::string& folder);
};

void makeDir(const std::string& folder) {
    std::filesystem::create_directory(folder + "sub");
}
void makeFile(const std::string& folder) {
    touch(folder + "file");
}
void makeFileAndChmod(const std::string& folder) {
    touch(folder + "file");
    std::filesystem::permissions(folder + "file", std::filesystem::perms::owner_read);
}
// Written and still open, as a log or a download is: no write time to report yet.
struct HeldOpen {
    int fd = -1;
    ~HeldOpen() {
        if (fd >= 0)
            ::close(fd);
    }
} writer;
void writeAndKeepOpen(const std::string& folder) {
    writer.fd = ::open((folder + "log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(writer.fd, "line\n", 5), 5);
}
void PrintTo(const FilterCase& row, std::ostream* out) {
    *out << row.name;
}

class NotifyFilterTest : public NotifyThreadTest,
                         public ::testing::WithParamInterface<FilterCase> {};

TEST_P(NotifyFilterTest, OnlyChangesOfTheFilterAreReported) {
    const std::string a = folder("a"), b = folder("b");
    start(GetParam().filter, {a, b});
    GetParam().ignored(a);
    GetParam().reported(b);
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(paths(), (std::vector<std::string>{b}));
}

INSTANTIATE_TEST_SUITE_P(
    Filters, NotifyFilterTest,
    ::testing::Values(FilterCase{"FileNames", kNotifyFileName, makeDir, makeFile},
                      FilterCase{"DirNames", kNotifyDirName, makeFile, makeDir},
                      FilterCase{"LastWrite", kNotifyLastWrite, makeDir, makeFile},
                      FilterCase{"LastWriteOnceClosed", kNotifyLastWrite, writeAndKeepOpen,
                                 makeFile},
                      FilterCase{"Attributes", kNotifyAttributes, makeFile, makeFileAndChmod}),
    [](const auto& row) { return std::string(row.param.name); });

// A change made after a folder was asked for but before the worker registered it.
void addFile(const std::string& folder) {
    touch(folder + "made-meanwhile");
}
void removeFolder(const std::string& folder) {
    std::filesystem::remove_all(folder);
}
void leaveAlone(const std::string&) {}

struct CatchUpCase {
    const char* name;
    bool priority; // the folder is a priority folder deep under a watched subtree
    void (*meanwhile)(const std::string& folder);
    bool reported;
};
void PrintTo(const CatchUpCase& row, std::ostream* out) {
    *out << row.name;
}

class NotifyCatchUpTest : public NotifyThreadTest,
                          public ::testing::WithParamInterface<CatchUpCase> {};

TEST_P(NotifyCatchUpTest, ChangesBeforeTheWatchAreReported) {
    const CatchUpCase& row = GetParam();
    const std::string a = folder("a"), b = folder("b"), deep = folder("a/x/deep");
    start(kNotifyFileName,
          row.priority ? std::vector<std::string>{a, b} : std::vector<std::string>{b}, row.priority,
          InotifyWatches::kDefaultWatchLimit, [&] {
              if (row.priority)
                  thread->SetPriorityFolders({deep});
              else
                  thread->AddFolder(a);
              row.meanwhile(row.priority ? deep : a);
          });
    touch(b + "after");
    ASSERT_TRUE(waitForCalls(row.reported ? 2 : 1));
    EXPECT_EQ(paths(),
              row.reported ? (std::vector<std::string>{a, b}) : std::vector<std::string>{b});
}

INSTANTIATE_TEST_SUITE_P(
    CatchUp, NotifyCatchUpTest,
    ::testing::Values(CatchUpCase{"AddedFolder", false, addFile, true},
                      CatchUpCase{"AddedFolderUnchanged", false, leaveAlone, false},
                      CatchUpCase{"AddedFolderGone", false, removeFolder, true},
                      CatchUpCase{"PriorityFolder", true, addFile, true},
                      CatchUpCase{"PriorityFolderUnchanged", true, leaveAlone, false}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace kelvora

// TShNotifyThread over real folders, real inotify and a real worker thread.
//
// That something was NOT reported is shown by ordering rather than by waiting: a
// change that should be ignored is made in one watched folder, then a change that
// must be reported in another. Both reach the one inotify queue in that order, and
// every folder that changed in a quiet period is called back when it ends, so an
// ignored change that leaked would show up at the latest with the expected one.
#include "shell/notify_thread.h"
#include "tests/shell/tst_notify_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

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

    void start(std::uint8_t filter, const std::vector<std::string>& folders, bool subtree = false,
               int watchLimit = InotifyWatches::kDefaultWatchLimit) {
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
        thread->resume();
        thread->WaitReady();
    }

    std::vector<std::string> list() {
        std::vector<std::string> copy = thread->LockList();
        thread->Unlock();
        return copy;
    }

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

    // Gone before the thread registers it: dropped without a word.
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

TEST_F(NotifyThreadTest, StopWhileTheWorkerWaitsForTheGuiThread) {
    const std::string a = folder("a");
    start(kNotifyFileName, {a});
    touch(a + "file");
    // No events are processed here, so the worker stays in its callback request.
    const Clock::time_point limit = Clock::now() + milliseconds(kEventWaitMs);
    while (!thread->busy() && Clock::now() < limit)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_TRUE(thread->busy());

    thread->Stop();
    EXPECT_TRUE(thread->finished());
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.empty());
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
                      FilterCase{"Attributes", kNotifyAttributes, makeFile, makeFileAndChmod}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace kelvora

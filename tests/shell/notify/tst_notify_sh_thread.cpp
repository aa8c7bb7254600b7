// TShThread: waits, wakes, calls to the GUI thread and the thread's end, through a
// small worker whose body each test writes.
#include "base/errors.h"
#include "shell/notify/sh_thread.h"
#include "tests/shell/notify/tst_notify_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sys/eventfd.h>

namespace kelvora {
namespace {

using namespace kelvora::test;

class Worker : public TShThread {
public:
    explicit Worker(std::function<void(Worker&)> body, bool* deleted = nullptr)
        : body_(std::move(body)), deleted_(deleted) {}
    ~Worker() override {
        stopThread();
        if (deleted_)
            *deleted_ = true;
    }

    using TShThread::isReadySet;
    using TShThread::post;
    using TShThread::resetReady;
    using TShThread::setReady;
    using TShThread::terminated;
    using TShThread::Wait;
    using TShThread::WaitForHandles;
    using TShThread::waitReady;

protected:
    void execute() override { body_(*this); }

private:
    std::function<void(Worker&)> body_;
    bool* deleted_;
};

TEST(ShThreadTest, WakeBeforeTheWaitIsNotLost) {
    Watchdog watchdog;
    std::promise<void> woken;
    std::promise<void> go;
    std::shared_future<void> goFuture = go.get_future().share();
    TShWaitResult first{}, second{};
    Worker worker([&](Worker& self) {
        goFuture.wait();
        first = self.Wait(TShThread::kInfinite);
        second = self.Wait(0);
        woken.set_value();
    });
    worker.resume();
    worker.Wake(); // before the worker waits
    go.set_value();
    woken.get_future().wait();
    EXPECT_EQ(first, TShWaitResult::wrWoken);
    // Consumed by the wait that saw it.
    EXPECT_EQ(second, TShWaitResult::wrTimeout);
    worker.Stop();
}

TEST(ShThreadTest, WaitForHandlesLosesNeitherAWakeNorAHandleAndTerminateWins) {
    Watchdog watchdog;
    UniqueFd quiet(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    UniqueFd signalled(::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC));
    ASSERT_TRUE(quiet.valid() && signalled.valid());
    struct Seen {
        TShWaitResult result;
        int index;
    };
    std::promise<std::pair<Seen, Seen>> seen;
    std::promise<void> go;
    std::shared_future<void> goFuture = go.get_future().share();
    std::atomic<int> afterStop{-1};
    Worker worker([&](Worker& self) {
        goFuture.wait();
        const int fds[] = {quiet.get(), signalled.get()};
        Seen first{}, second{};
        first.result = self.WaitForHandles(fds, TShThread::kInfinite, first.index);
        second.result = self.WaitForHandles(fds, TShThread::kInfinite, second.index);
        seen.set_value({first, second});
        // Once stopped, terminate wins over a descriptor that is still readable.
        while (!self.terminated())
            std::this_thread::yield();
        int index = -1;
        afterStop = static_cast<int>(self.WaitForHandles(fds, TShThread::kInfinite, index));
    });
    worker.resume();
    worker.Wake(); // together with a readable descriptor: both must be reported
    go.set_value();
    auto [first, second] = seen.get_future().get();
    if (first.result != TShWaitResult::wrWoken)
        std::swap(first, second);
    EXPECT_EQ(first.result, TShWaitResult::wrWoken);
    EXPECT_EQ(second.result, TShWaitResult::wrHandle);
    EXPECT_EQ(second.index, 1);
    worker.Stop();
    EXPECT_EQ(afterStop.load(), static_cast<int>(TShWaitResult::wrTerminated));
}

TEST(ShThreadTest, PostedCallRunsOnTheGuiThreadWithoutHoldingTheWorker) {
    Watchdog watchdog;
    bool ranOnGui = false;
    bool ran = false;
    std::atomic<bool> delivered{false};
    Worker worker([&](Worker& self) {
        delivered = self.post([&] {
            ran = true;
            ranOnGui = onGuiThread();
        });
        self.setReady();
        self.Wait(TShThread::kInfinite);
    });
    worker.resume();
    // No event loop has run yet: the worker went on without the GUI thread.
    worker.waitReady();
    EXPECT_TRUE(worker.isReadySet());
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(ran);
    ASSERT_TRUE(waitUntil([&] { return ran; }));
    EXPECT_TRUE(ranOnGui);
    worker.Stop();
}

TEST(ShThreadTest, StopDropsACallTheGuiThreadHasNotRun) {
    Watchdog watchdog;
    std::atomic<bool> posted{false};
    std::atomic<bool> afterStop{true};
    bool ran = false;
    Worker worker([&](Worker& self) {
        posted = self.post([&] { ran = true; });
        while (!self.terminated())
            std::this_thread::yield();
        afterStop = self.post([&] { ran = true; });
    });
    worker.resume();
    while (!posted)
        std::this_thread::yield();
    worker.Stop();
    EXPECT_TRUE(worker.finished());
    EXPECT_FALSE(afterStop);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(ShThreadTest, ThreadEndingByItselfTellsItsOwnerAndFreesItself) {
    Watchdog watchdog;
    bool deleted = false;
    auto* worker =
        new Worker([](Worker&) { throw Exception(QStringLiteral("壊れました")); }, &deleted);
    TShThread* owner = worker; // the owner's reference
    int calls = 0;
    worker->setOnTerminate([&](TShThread* sender) {
        ++calls;
        EXPECT_EQ(sender, owner);
        EXPECT_TRUE(onGuiThread());
        EXPECT_EQ(sender->fatalError(), QStringLiteral("壊れました"));
        owner = nullptr;
    });
    worker->resume();
    ASSERT_TRUE(waitUntil([&] { return deleted; }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(owner, nullptr);
}

TEST(ShThreadTest, StoppedThreadIsLeftToItsOwner) {
    Watchdog watchdog;
    bool deleted = false;
    int calls = 0;
    auto worker =
        std::make_unique<Worker>([](Worker& self) { self.Wait(TShThread::kInfinite); }, &deleted);
    worker->setOnTerminate([&](TShThread*) { ++calls; });
    worker->resume();
    worker->Stop();
    QCoreApplication::processEvents();
    EXPECT_FALSE(deleted);
    EXPECT_EQ(calls, 0);
    worker.reset();
    EXPECT_TRUE(deleted);
}

} // namespace
} // namespace kelvora

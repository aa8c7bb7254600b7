#pragma once
// TShThread: the base of the folder browser's worker threads. A thread with a
// recursive lock and two events, wake and terminate, that interrupt every wait it
// makes, plus the means to hand a function to the GUI thread.
//
// Events are eventfds. The wake event resets when a wait consumes it, so a Wake
// that arrives while the worker is busy elsewhere is seen by its next wait rather
// than lost. The terminate event is never reset.
//
// Neither side ever waits for the other: the worker hands its results to the GUI
// thread with post (a queued call, as Qt's own file-system gatherer reports), and
// the GUI thread hands the worker its settings under the lock and wakes it. A
// call posted before Stop that the GUI thread has not run yet is dropped.
//
// Ownership: the owner creates the thread on the GUI thread and calls Stop before
// deleting it. A thread that ends by itself (an error left its loop) runs its
// on-terminate callback on the GUI thread and then deletes itself: that callback
// must forget the owner's pointer without deleting the thread.
#include "base/unique_fd.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace kelvora {

enum class TShWaitResult {
    wrHandle = 0,
    wrTimeout = 1,
    wrWoken = 2,
    wrError = 3,
    wrTerminated = 4
};

// Where a failed wait is reported, on the GUI thread: the application's error
// handler (a message box in the program). Without one the text goes to qWarning.
void setShThreadErrorHandler(std::function<void(const QString& message)> handler);

class TShThread {
public:
    using TerminateCallback = std::function<void(TShThread* sender)>;
    using TLock = std::unique_lock<std::recursive_mutex>;
    static constexpr int kInfinite = -1;

    virtual ~TShThread();
    TShThread(const TShThread&) = delete;
    TShThread& operator=(const TShThread&) = delete;

    // Starts a thread created suspended; no effect once started or stopped.
    void resume();

    // Holds the thread's lock while the object returned lives.
    [[nodiscard]] TLock Hold() const { return TLock(lock_); }
    void Wake();
    // Ends the thread and returns once it has ended, whatever it was waiting for
    // (a call posted to the GUI thread and not yet run is dropped). The owner
    // then deletes it.
    virtual void Stop();

    // Called on the GUI thread when the thread ends without Stop.
    void setOnTerminate(TerminateCallback callback);
    // The thread ran and has ended.
    bool finished() const;
    // The text of the error that ended the thread, if one did.
    QString fatalError() const;
    // Calls of Wake so far, for tests that check that nothing woke the thread.
    int wakeCount() const { return wakes_.load(); }

protected:
    TShThread();

    // The thread's work; an exception leaving it ends the thread.
    virtual void execute() = 0;
    bool terminated() const { return terminated_.load(); }

    // Waits for the wake or terminate event (terminate wins when both are set).
    TShWaitResult Wait(int milliseconds);
    // Waits for one of the caller's descriptors to become readable, or for the
    // terminate or wake event. wrHandle sets index to the caller's descriptor.
    TShWaitResult WaitForHandles(std::span<const int> fds, int milliseconds, int& index);

    // Queues fn to run on the GUI thread and returns at once. False when the
    // thread is being stopped (fn is then never run); a queued fn is dropped if
    // Stop comes first. An exception fn raises goes to the error handler.
    bool post(std::function<void()> fn);

    // A manual-reset "ready" event: set once the worker has put its settings into
    // effect. Only tests and tools wait for it (waitReady); the program never does.
    // waitReady returns at once when the thread is not running.
    void setReady();
    void resetReady();
    bool isReadySet() const;
    void waitReady();

    // For destructors of derived classes: stops the thread before their members go.
    void stopThread();

    std::recursive_mutex& mutex() const { return lock_; }

private:
    struct Channel;
    static void reportError(const QString& message);
    void threadMain();
    TShWaitResult pollFor(std::span<const int> fds, int milliseconds, int& index);

    mutable std::recursive_mutex lock_;
    UniqueFd wakeFd_;
    UniqueFd terminateFd_;
    std::atomic<bool> terminated_{false};
    std::atomic<int> wakes_{0};
    std::shared_ptr<Channel> channel_;
    std::thread thread_;
};

} // namespace kelvora

#include "shell/notify/sh_thread.h"

#include "base/errors.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QtDebug>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <vector>

namespace kelvora {

// State shared between the thread object, its worker and the events it queued to
// the GUI thread; it outlives the object so that a queued event finding the
// object gone can tell.
struct TShThread::Channel {
    std::mutex m;
    std::condition_variable cv;
    bool started = false;
    bool stopRequested = false;
    bool ended = false;
    bool destroyed = false;
    bool freeOnTerminate = false;
    bool ready = false;
    TerminateCallback onTerminate;
    QString fatalError;
};

namespace {

std::mutex handlerMutex;
std::function<void(const QString&)> errorHandler;

QString systemMessage(int error) {
    return QString::fromStdString(std::error_code(error, std::system_category()).message());
}

UniqueFd makeEvent() {
    UniqueFd fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd.valid())
        throw Exception(systemMessage(errno));
    return fd;
}

void signalEvent(const UniqueFd& fd) {
    const std::uint64_t one = 1;
    // Only fails when the counter would overflow, and then the event is set anyway.
    [[maybe_unused]] const ssize_t written = ::write(fd.get(), &one, sizeof one);
}

void resetEvent(const UniqueFd& fd) {
    std::uint64_t value;
    [[maybe_unused]] const ssize_t read = ::read(fd.get(), &value, sizeof value);
}

} // namespace

void setShThreadErrorHandler(std::function<void(const QString& message)> handler) {
    std::lock_guard guard(handlerMutex);
    errorHandler = std::move(handler);
}

TShThread::TShThread()
    : wakeFd_(makeEvent()), terminateFd_(makeEvent()), channel_(std::make_shared<Channel>()) {}

TShThread::~TShThread() {
    stopThread();
    std::lock_guard guard(channel_->m);
    channel_->destroyed = true;
}

void TShThread::resume() {
    {
        std::lock_guard guard(channel_->m);
        if (channel_->started || channel_->stopRequested)
            return;
        channel_->started = true;
        channel_->freeOnTerminate = true;
    }
    thread_ = std::thread([this] { threadMain(); });
}

void TShThread::Wake() {
    ++wakes_;
    signalEvent(wakeFd_);
}

void TShThread::Stop() {
    stopThread();
}

void TShThread::stopThread() {
    {
        std::lock_guard guard(channel_->m);
        channel_->freeOnTerminate = false;
        channel_->stopRequested = true;
    }
    channel_->cv.notify_all();
    // The event first: a worker that sees the flag must also find the event set.
    signalEvent(terminateFd_);
    terminated_ = true;
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void TShThread::setOnTerminate(TerminateCallback callback) {
    std::lock_guard guard(channel_->m);
    channel_->onTerminate = std::move(callback);
}

bool TShThread::finished() const {
    std::lock_guard guard(channel_->m);
    return channel_->ended;
}

QString TShThread::fatalError() const {
    std::lock_guard guard(channel_->m);
    return channel_->fatalError;
}

void TShThread::threadMain() {
    // Once the end is announced the GUI thread may delete this object: from then
    // on only locals are touched.
    const std::shared_ptr<Channel> channel = channel_;
    QString error;
    try {
        execute();
    } catch (const Exception& e) {
        error = e.message();
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    bool byItself;
    {
        std::lock_guard guard(channel->m);
        channel->ended = true;
        channel->fatalError = error;
        byItself = !channel->stopRequested;
    }
    channel->cv.notify_all();
    QCoreApplication* app = QCoreApplication::instance();
    if (!byItself || !app)
        return;
    TShThread* self = this;
    QMetaObject::invokeMethod(
        app,
        [channel, self] {
            TerminateCallback callback;
            {
                std::lock_guard guard(channel->m);
                if (channel->destroyed || channel->stopRequested)
                    return; // the owner stopped it meanwhile and owns it again
                callback = channel->onTerminate;
            }
            if (callback)
                callback(self);
            {
                std::lock_guard guard(channel->m);
                if (channel->destroyed || !channel->freeOnTerminate)
                    return;
            }
            delete self;
        },
        Qt::QueuedConnection);
}

TShWaitResult TShThread::Wait(int milliseconds) {
    int index;
    return WaitForHandles({}, milliseconds, index);
}

TShWaitResult TShThread::WaitForHandles(std::span<const int> fds, int milliseconds, int& index) {
    try {
        return pollFor(fds, milliseconds, index);
    } catch (const Exception& e) {
        reportError(e.message());
        return TShWaitResult::wrError;
    }
}

// Terminate is checked first so that Stop is never kept waiting, wake next so that
// a configuration change is not held up by a stream of changes on the caller's
// descriptors (they stay readable and are seen by the next wait).
TShWaitResult TShThread::pollFor(std::span<const int> fds, int milliseconds, int& index) {
    std::vector<pollfd> polled;
    polled.reserve(fds.size() + 2);
    polled.push_back({terminateFd_.get(), POLLIN, 0});
    polled.push_back({wakeFd_.get(), POLLIN, 0});
    for (int fd : fds)
        polled.push_back({fd, POLLIN, 0});

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        int timeout = -1;
        if (milliseconds >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int n = ::poll(polled.data(), polled.size(), timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Exception(systemMessage(errno));
        }
        if (n == 0)
            return TShWaitResult::wrTimeout;
        if (polled[0].revents)
            return TShWaitResult::wrTerminated;
        if (polled[1].revents) {
            resetEvent(wakeFd_);
            return TShWaitResult::wrWoken;
        }
        for (std::size_t i = 2; i < polled.size(); ++i) {
            if (polled[i].revents & POLLNVAL)
                return TShWaitResult::wrError;
            if (polled[i].revents) {
                index = static_cast<int>(i - 2);
                return TShWaitResult::wrHandle;
            }
        }
        return TShWaitResult::wrError;
    }
}

bool TShThread::post(std::function<void()> fn) {
    const std::shared_ptr<Channel> channel = channel_;
    QCoreApplication* app = QCoreApplication::instance();
    {
        std::lock_guard guard(channel->m);
        if (channel->stopRequested || !app)
            return false;
    }
    QMetaObject::invokeMethod(
        app,
        [channel, fn = std::move(fn)] {
            {
                std::lock_guard guard(channel->m);
                if (channel->stopRequested || channel->destroyed)
                    return; // stopped since: the owner no longer expects it
            }
            try {
                fn();
            } catch (const Exception& e) {
                reportError(e.message());
            } catch (const std::exception& e) {
                reportError(QString::fromLocal8Bit(e.what()));
            }
        },
        Qt::QueuedConnection);
    return true;
}

void TShThread::reportError(const QString& message) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [message] {
            std::function<void(const QString&)> handler;
            {
                std::lock_guard guard(handlerMutex);
                handler = errorHandler;
            }
            if (handler)
                handler(message);
            else
                qWarning().noquote() << message;
        },
        Qt::QueuedConnection);
}

void TShThread::setReady() {
    {
        std::lock_guard guard(channel_->m);
        channel_->ready = true;
    }
    channel_->cv.notify_all();
}

void TShThread::resetReady() {
    std::lock_guard guard(channel_->m);
    channel_->ready = false;
}

bool TShThread::isReadySet() const {
    std::lock_guard guard(channel_->m);
    return channel_->ready;
}

void TShThread::waitReady() {
    std::unique_lock lock(channel_->m);
    channel_->cv.wait(lock, [this] {
        return channel_->ready || !channel_->started || channel_->ended || channel_->stopRequested;
    });
}

} // namespace kelvora

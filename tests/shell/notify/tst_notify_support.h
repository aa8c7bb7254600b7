#pragma once
// Helpers for the notification thread tests: waiting while the GUI thread's events
// are delivered, a guard that ends a hung test, and small file-system steps.
#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Generous: a notification takes 1.5 s of quiet, a loaded machine more.
inline constexpr int kEventWaitMs = 15000;

// Processes GUI events until pred holds or the limit passes.
template <typename Pred> bool waitUntil(Pred pred, int limitMs = kEventWaitMs) {
    return QTest::qWaitFor(pred, limitMs);
}

inline bool onGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

inline milliseconds elapsedMs(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<milliseconds>(to - from);
}

// A deadlock would otherwise hang the run: fail loudly instead.
class Watchdog {
public:
    explicit Watchdog(int seconds = 60)
        : thread_([this, seconds] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  std::fprintf(stderr, "test did not finish within %d s (deadlock?)\n", seconds);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard guard(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

// Creates a folder (and its parents); returns its path ending in "/".
inline std::string makeFolder(const std::string& path) {
    std::filesystem::create_directories(path);
    return path.back() == '/' ? path : path + "/";
}

inline void touch(const std::string& path) {
    std::ofstream(path, std::ios::binary) << "x";
}

} // namespace kelvora::test

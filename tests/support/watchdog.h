#pragma once
// A guard for code that must neither block nor run away: when the scope has not
// ended within the time limit, or the process has grown by more than the memory
// limit meanwhile, the test process ends at once with a message naming the scope.
// A regression that waits for a FIFO's writer or reads /dev/zero without end then
// fails the test instead of hanging the suite or filling the machine's memory.
//
// One watcher thread per guard; the guarded code runs on the caller's thread.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::test {

class Watchdog {
public:
    Watchdog(std::string what, int seconds = 20, long maxGrowthMiB = 256);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watcher_;
};

} // namespace kelvora::test

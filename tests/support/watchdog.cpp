#include "tests/support/watchdog.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace kelvora::test {
namespace {

// The process's resident memory in MiB, from /proc/self/statm.
long residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

[[noreturn]] void fail(const std::string& what, const char* why) {
    std::fprintf(stderr, "FAIL: %s %s; the test process ends here\n", what.c_str(), why);
    std::fflush(stderr);
    ::_exit(3);
}

} // namespace

Watchdog::Watchdog(std::string what, int seconds, long maxGrowthMiB) : what_(std::move(what)) {
    const long start = residentMiB();
    watcher_ = std::thread([this, seconds, maxGrowthMiB, start] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        std::unique_lock lock(mutex_);
        while (!finished_) {
            if (std::chrono::steady_clock::now() >= deadline)
                fail(what_, "did not finish in time");
            if (residentMiB() - start > maxGrowthMiB)
                fail(what_, "kept taking memory");
            done_.wait_for(lock, std::chrono::milliseconds(20));
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_one();
    watcher_.join();
}

} // namespace kelvora::test

#pragma once
// A FUSE file system that nobody serves, mounted at a folder: every question to
// it waits, like a network drive whose server is gone. A watchdog ends the
// waiting after its limit (it closes the FUSE device, which fails every
// question), so that a test that does hang on it fails instead of stopping
// the suite.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::test {

// Gives the process a mount namespace of its own (before any thread starts):
// nothing mounted is seen outside, and it all goes when the process ends.
bool EnterPrivateMountNamespace();

// Mounts the unserved FUSE file system at path; the FUSE device's descriptor,
// or -1 with error set.
int MountUnservedFuse(const std::string& path, std::string& error);

class HungMount {
public:
    HungMount(const std::string& path, std::chrono::seconds watchdog);
    ~HungMount();
    HungMount(const HungMount&) = delete;
    HungMount& operator=(const HungMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    // Whether the watchdog had to end the waiting.
    bool watchdogFired() const { return fired_; }

private:
    std::string path_;
    std::string error_;
    bool mounted_ = false;
    int fd_ = -1; // the watchdog's once it runs
    std::atomic<bool> fired_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    bool released_ = false;
    std::thread watchdog_;
};

} // namespace kelvora::test

#include "tests/shell/hung_mount.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace kelvora::test {

bool EnterPrivateMountNamespace() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

int MountUnservedFuse(const std::string& path, std::string& error) {
    std::filesystem::create_directories(path);
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("/dev/fuse: ") + std::strerror(errno);
        return -1;
    }
    const std::string options = "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("kelvora-hung", path.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        error = "mount fuse " + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

HungMount::HungMount(const std::string& path, std::chrono::seconds watchdog) : path_(path) {
    fd_ = MountUnservedFuse(path, error_);
    mounted_ = fd_ >= 0;
    if (!mounted_)
        return;
    watchdog_ = std::thread([this, watchdog] {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, watchdog, [this] { return released_; })) {
            fired_ = true;
            ::close(fd_); // every question waiting on the file system fails now
            fd_ = -1;
        }
    });
}

HungMount::~HungMount() {
    if (watchdog_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        done_.notify_all();
        watchdog_.join();
    }
    // Closing the device first ends every wait on the file system.
    if (fd_ >= 0)
        ::close(fd_);
    if (mounted_)
        ::umount2(path_.c_str(), MNT_DETACH);
}

} // namespace kelvora::test

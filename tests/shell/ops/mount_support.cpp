#include "tests/shell/ops/mount_support.h"

#include "shell/items/mounts.h"
#include "tests/shell/hung_mount.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace kelvora::test {

void MountFixture::SetUp() {
    if (!mountsAvailable)
        GTEST_SKIP() << "mounting needs CAP_SYS_ADMIN (tests run as root)";
    NamespaceFixture::SetUp();
    TDriveSources sources = DriveSources();
    sources.mountInfo = "/proc/self/mountinfo";
    SetDriveSources(sources);
}

void MountFixture::TearDown() {
    // A hung mount first: closing its device ends every wait on it.
    if (fuseFd_ >= 0)
        ::close(fuseFd_);
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        ::umount2(it->c_str(), MNT_DETACH);
    mounts_.clear();
    if (mountsAvailable)
        NamespaceFixture::TearDown();
}

std::string MountFixture::mountTmpfs(const std::string& path, const std::string& options,
                                     unsigned long flags) {
    makeDir(path);
    if (::mount("tmpfs", path.c_str(), "tmpfs", flags, options.c_str()) != 0)
        ADD_FAILURE() << "mount tmpfs " << path << ": " << std::strerror(errno);
    else
        mounts_.push_back(path);
    return path;
}

std::string MountFixture::mountHung(const std::string& path) {
    std::string error;
    fuseFd_ = MountUnservedFuse(path, error);
    if (fuseFd_ < 0)
        ADD_FAILURE() << error;
    else
        mounts_.push_back(path);
    return path;
}

void MountFixture::unmount(const std::string& path) {
    if (::umount2(path.c_str(), MNT_DETACH) == 0)
        std::erase(mounts_, path);
}

} // namespace kelvora::test

#pragma once
// Real mounts for tests: tmpfs file systems and a FUSE file system whose server
// never answers (a hung network mount). Everything is unmounted at the end.
#include "tests/shell/items/namespace_fixture.h"

#include <string>
#include <vector>

namespace kelvora::test {

// Set by the test main: the process has a mount namespace of its own.
extern bool mountsAvailable;

// The namespace fixture's user, with the kernel's real mount table.
class MountFixture : public NamespaceFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Mounts a tmpfs at path (made as needed); options such as "size=64k".
    std::string mountTmpfs(const std::string& path, const std::string& options = "",
                           unsigned long flags = 0);
    // Mounts a FUSE file system at path that nobody serves: every access to it waits.
    std::string mountHung(const std::string& path);
    void unmount(const std::string& path);

private:
    std::vector<std::string> mounts_;
    int fuseFd_ = -1;
};

} // namespace kelvora::test

#pragma once
// The user's folders of a whole test program in a temporary folder: HOME and the
// XDG cache, data and runtime folders. Album runs keep their records and locks,
// and trash what they trash, there rather than in the account running the tests.
// One static instance per program that makes albums (child processes inherit it).
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <sys/stat.h>

namespace kelvora::test {

class XdgSandbox {
public:
    XdgSandbox() {
        env_.set("HOME", dir_.path());
        env_.set("XDG_CACHE_HOME", dir_.file(".cache"));
        env_.set("XDG_DATA_HOME", dir_.file(".local/share"));
        ::mkdir(dir_.file("runtime").c_str(), 0700);
        env_.set("XDG_RUNTIME_DIR", dir_.file("runtime"));
    }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    ScopedEnv env_;
};

} // namespace kelvora::test

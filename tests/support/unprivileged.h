#pragma once
// Runs a command as an unprivileged user, so that permission checks can be tested
// although the suite runs as root (privileges are dropped with setpriv).
#include <string>
#include <vector>

namespace kelvora::test {

// The user and group "nobody".
inline constexpr int kNobody = 65534;

struct CommandResult {
    int exitCode = -1;  // -1 when the command could not be run or was killed
    std::string output; // standard output and standard error together
};

// Runs argv[0] with the other arguments as uid and gid kNobody, without
// supplementary groups, and waits for it.
CommandResult runAsNobody(const std::vector<std::string>& argv);

// Lets kNobody reach and change `path` (a test's temporary folder or file).
void handToNobody(const std::string& path, unsigned mode);

} // namespace kelvora::test

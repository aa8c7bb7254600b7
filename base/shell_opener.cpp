#include "base/shell_opener.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace kelvora {

bool TXdgOpener::open(const std::string& target) {
    // The target goes to xdg-open as it is: a file name's bytes, whether or not the
    // code page can show them (a QString would turn what it cannot decode into
    // U+FFFD and so name another file).
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return false;
    // xdg-open may wait for the application it starts; it is reaped whenever it ends,
    // without holding anything up.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

TShellOpener& DefaultShellOpener() {
    static TXdgOpener opener;
    return opener;
}

} // namespace kelvora

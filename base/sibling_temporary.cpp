#include "base/sibling_temporary.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace kelvora {
namespace {

constexpr std::string_view kMark = ".kelvora-";

std::string temporaryName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    // A short stem keeps the name within the file system's limit.
    const std::string stem = target.substr(folder.size(), 64);
    return folder + "." + stem + std::string(kMark) + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + ".tmp";
}

} // namespace

UniqueFd CreateSiblingTemporary(const std::string& target, mode_t mode, std::string& temp) {
    UniqueFd fd;
    // Another process's file of the same name is never taken over: try the next.
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        temp = temporaryName(target);
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!fd.valid() && errno != EEXIST)
            break;
    }
    return fd;
}

std::optional<pid_t> SiblingTemporaryOwner(std::string_view name) {
    const auto mark = name.rfind(kMark);
    if (name.empty() || name.front() != '.' || mark == std::string_view::npos ||
        !name.ends_with(".tmp"))
        return std::nullopt;
    const std::string_view rest = name.substr(mark + kMark.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || end == rest.data() || *end != '-' || pid <= 0)
        return std::nullopt;
    return pid;
}

} // namespace kelvora

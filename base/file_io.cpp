#include "base/file_io.h"

#include "base/codepage.h"
#include "base/errors.h"
#include "base/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {
[[noreturn]] void cannotCreate(const std::string& fileName) {
    throw EFCreateError(QStringLiteral("ファイル %1 を作成できません").arg(toDisplayQ(fileName)));
}
// error: the system's reason, which a terminal shows beside the message.
[[noreturn]] void cannotOpen(const std::string& fileName, int error) {
    throw EFOpenError(QStringLiteral("ファイル %1 は開けません").arg(toDisplayQ(fileName)),
                      systemErrorText(error));
}
} // namespace

std::string systemErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

int openRegularFile(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    int fd;
    do
        fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

void refuseSpecialFile(const std::string& fileName) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        cannotOpen(fileName, EINVAL);
}

std::ifstream openForReading(const std::string& fileName) {
    const UniqueFd fd(openRegularFile(fileName));
    if (!fd.valid())
        cannotOpen(fileName, errno);
    // The stream opens the descriptor's own file, not whatever the name is now: a
    // FIFO put in the file's place after the check would block the second open.
    std::ifstream in("/proc/self/fd/" + std::to_string(fd.get()), std::ios::binary);
    if (!in.is_open())
        cannotOpen(fileName, errno);
    return in;
}

int openDescriptorForReading(const std::string& fileName) {
    const int fd = openRegularFile(fileName);
    if (fd < 0)
        cannotOpen(fileName, errno);
    ::fcntl(fd, F_SETFL, 0); // reads of a regular file wait for the disk, as they should
    return fd;
}

std::optional<std::string> readSmallFile(const std::string& fileName, std::size_t maxBytes) {
    const UniqueFd fd(openRegularFile(fileName));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return std::nullopt;
    // The size is only a hint (a file still being written, a kernel file that reports
    // 0): read up to one byte past the limit to tell a file that is too large.
    std::string bytes(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), maxBytes) + 1,
                      '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > maxBytes)
                return std::nullopt;
            bytes.resize(std::min(maxBytes + 1, std::max<std::size_t>(used * 2, 4096)));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes)
        return std::nullopt;
    bytes.resize(used);
    return bytes;
}

std::string readWholeFile(const std::string& fileName) {
    // A pipe is fine here (a comment list from a command); a folder is not.
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        cannotOpen(fileName, EISDIR);
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open())
        cannotOpen(fileName, errno);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return std::move(buffer).str();
}

std::ofstream createFile(const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        cannotCreate(fileName);
    return out;
}

void finishFile(std::ofstream& out, const std::string& fileName) {
    out.close();
    if (out.fail())
        cannotCreate(fileName);
}

void writeWholeFile(const std::string& fileName, std::string_view bytes) {
    std::ofstream out = createFile(fileName);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    finishFile(out, fileName);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool forceDirectories(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !forceDirectories(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

} // namespace kelvora

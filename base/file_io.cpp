#include "base/file_io.h"

#include "base/codepage.h"
#include "base/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {
[[noreturn]] void cannotCreate(const std::string& fileName) {
    throw EFCreateError(QStringLiteral("ファイル %1 を作成できません").arg(toQ(fileName)));
}
[[noreturn]] void cannotOpen(const std::string& fileName) {
    throw EFOpenError(QStringLiteral("ファイル %1 は開けません").arg(toQ(fileName)));
}
bool isRegularFile(const std::string& fileName) {
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

std::string systemErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::ifstream openForReading(const std::string& fileName) {
    if (!isRegularFile(fileName))
        cannotOpen(fileName);
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open())
        cannotOpen(fileName);
    return in;
}

int openDescriptorForReading(const std::string& fileName) {
    // Non-blocking, so that a FIFO put in a picture's place cannot hang the open.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        cannotOpen(fileName);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        cannotOpen(fileName);
    }
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

std::string readWholeFile(const std::string& fileName) {
    // A pipe is fine here (a comment list from a command); a folder is not.
    struct stat st;
    if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        cannotOpen(fileName);
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open())
        cannotOpen(fileName);
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

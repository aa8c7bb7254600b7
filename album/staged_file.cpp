#include "album/staged_file.h"

#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <unistd.h>

namespace kelvora {
namespace {

struct Registry {
    std::mutex lock;
    std::set<std::string> temporaries;
    bool discarded = false;
};
Registry& registry() {
    static Registry r;
    return r;
}

std::string temporaryName(const std::string& finalName) {
    static std::atomic<unsigned> counter{0};
    const auto slash = finalName.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : finalName.substr(0, slash + 1);
    // A short stem keeps the name within the file system's limit.
    const std::string stem = finalName.substr(folder.size(), 64);
    return folder + "." + stem + ".kelvora-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + ".tmp";
}

} // namespace

TStagedFile::TStagedFile(std::string finalName) : finalName_(std::move(finalName)) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.discarded)
        throw EAbort(QStringLiteral("中止しました"));
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tempName_ = temporaryName(finalName_);
        fd_ = ::open(tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        fail(errno);
    r.temporaries.insert(tempName_);
}

TStagedFile::~TStagedFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (committed_)
        return;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.temporaries.erase(tempName_))
        ::unlink(tempName_.c_str());
}

void TStagedFile::fail(int error) const {
    throw EFCreateError(QStringLiteral("ファイル %1 を作成できません (%2)")
                            .arg(toQ(finalName_), QString::fromLocal8Bit(systemErrorText(error))));
}

void TStagedFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TStagedFile::close() {
    if (fd_ < 0)
        return;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        fail(errno);
}

void TStagedFile::flushToDisk() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        fail(error);
    }
    close();
}

void TStagedFile::commit() {
    close();
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.discarded || !r.temporaries.count(tempName_))
        throw EAbort(QStringLiteral("中止しました"));
    if (::rename(tempName_.c_str(), finalName_.c_str()) != 0)
        fail(errno);
    r.temporaries.erase(tempName_);
    committed_ = true;
}

void RemoveStaleStagedFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        // ".<name>.kelvora-<pid>-<n>.tmp"
        const auto mark = name.rfind(".kelvora-");
        if (name.empty() || name.front() != '.' || mark == std::string_view::npos ||
            !name.ends_with(".tmp"))
            continue;
        const std::string_view rest = name.substr(mark + 9);
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (error != std::errc() || end == rest.data() || *end != '-' || pid <= 0)
            continue;
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue; // its writer may still be at work
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

void DiscardAllStagedFiles() {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.discarded = true;
    for (const std::string& name : r.temporaries)
        ::unlink(name.c_str());
    r.temporaries.clear();
}

} // namespace kelvora

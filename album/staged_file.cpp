#include "album/staged_file.h"

#include "album/album_texts.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/sibling_temporary.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
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

} // namespace

TStagedFile::TStagedFile(std::string finalName) : finalName_(std::move(finalName)) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.discarded)
        throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));
    fd_ = CreateSiblingTemporary(finalName_, 0666, tempName_);
    if (!fd_.valid())
        fail(errno);
    r.temporaries.insert(tempName_);
}

TStagedFile::~TStagedFile() {
    fd_.reset();
    if (committed_)
        return;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.temporaries.erase(tempName_))
        ::unlink(tempName_.c_str());
}

QString CreateFailureReason(int error) {
    if (error == EACCES || error == EPERM)
        return AlbumTexts::Text(AlbumTexts::SNoPermission);
    if (error == EROFS)
        return AlbumTexts::Text(AlbumTexts::SReadOnlyFileSystem);
    return QString::fromLocal8Bit(systemErrorText(error));
}

void TStagedFile::fail(int error) const {
    throw EFCreateError(QStringLiteral("ファイル %1 を作成できません (%2)")
                            .arg(toQ(finalName_), CreateFailureReason(error)));
}

void TStagedFile::write(std::string_view bytes) {
    if (!writeAll(fd_.get(), bytes))
        fail(errno);
}

void TStagedFile::close() {
    if (fd_.valid() && !fd_.close())
        fail(errno);
}

void TStagedFile::flushToDisk() {
    if (fd_.valid() && ::fdatasync(fd_.get()) != 0) {
        const int error = errno;
        fd_.reset();
        fail(error);
    }
    close();
}

void TStagedFile::commit() {
    close();
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    if (r.discarded || !r.temporaries.count(tempName_))
        throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));
    if (::rename(tempName_.c_str(), finalName_.c_str()) != 0)
        fail(errno);
    r.temporaries.erase(tempName_);
    committed_ = true;
}

void TStagedFile::linkFrom(const std::string& existing) {
    fd_.reset();
    if (::unlink(tempName_.c_str()) == 0 && ::link(existing.c_str(), tempName_.c_str()) == 0)
        return;
    fd_.reset(
        ::open(tempName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!fd_.valid())
        fail(errno);
    const UniqueFd from(::open(existing.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!from.valid())
        fail(errno);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(errno);
        if (got == 0)
            break;
        write({buffer, static_cast<std::size_t>(got)});
    }
    close();
}

void RemoveStaleStagedFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> owner = SiblingTemporaryOwner(entry->d_name);
        if (!owner)
            continue;
        const pid_t pid = *owner;
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

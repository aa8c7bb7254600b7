#include "shell/ops/file_operation.h"
#include "shell/shell_texts.h"

#include "base/codepage.h"
#include "base/unique_fd.h"
#include "shell/items/dir_handle.h"
#include "shell/items/fs_folder.h"
#include "shell/items/trash.h"

#include <QThread>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <unistd.h>

namespace kelvora {

namespace {

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A hidden name in folder that nobody else will pick.
std::string temporaryPath(const std::string& folder) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    return joinPath(folder, std::string(".kelvora-") + suffix + ".part");
}

void syncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

bool syncFileSystem(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::syncfs(fd.get()) == 0;
}

// rm -r that also clears folders it may not write into (a copied read-only folder).
bool removeTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    ::chmod(path.c_str(), 0700);
    bool ok = true;
    {
        TDirHandle d(::opendir(path.c_str()));
        if (!d)
            return false;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d.get())) {
            const std::string_view n = e->d_name;
            if (n != "." && n != "..")
                names.emplace_back(n);
        }
        d.reset();
        for (const std::string& n : names)
            ok = removeTree(joinPath(path, n)) && ok;
    }
    const int error = errno;
    if (!ok) {
        errno = error;
        return false;
    }
    return ::rmdir(path.c_str()) == 0;
}

std::vector<std::string> childNames(const std::string& folder, bool& ok) {
    std::vector<std::string> names;
    TDirHandle d(::opendir(folder.c_str()));
    ok = d != nullptr;
    while (d) {
        errno = 0;
        const dirent* e = ::readdir(d.get());
        if (!e) {
            ok = errno == 0;
            break;
        }
        const std::string_view n = e->d_name;
        if (n != "." && n != "..")
            names.emplace_back(n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void copyOwnerAndTimes(const std::string& path, const struct stat& st, bool link) {
    const int flags = link ? AT_SYMLINK_NOFOLLOW : 0;
    // Only succeeds for the owner's own group or for root; the permissions and
    // times are kept whatever happens here.
    [[maybe_unused]] const int ignored =
        ::fchownat(AT_FDCWD, path.c_str(), st.st_uid, st.st_gid, flags);
    if (!link)
        ::chmod(path.c_str(), st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, flags);
}

} // namespace

std::string ShParentPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool ShIsPathInside(const std::string& path, const std::string& ancestor) {
    return path == ancestor ||
           (path.size() > ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
            (ancestor == "/" || path[ancestor.size()] == '/'));
}

std::string ShNumberedName(const std::string& folder, const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string::npos && dot > 0;
    const std::string stem = hasExt ? name.substr(0, dot) : name;
    const std::string ext = hasExt ? name.substr(dot) : std::string();
    for (int n = 2;; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
        struct stat st;
        if (::lstat(joinPath(folder, candidate).c_str(), &st) != 0 && errno == ENOENT)
            return candidate;
    }
}

QString ShErrorText(int error) {
    if (error == 0)
        return QString();
    static constexpr struct {
        int error;
        const char* text;
    } kReasons[] = {
        {ENOSPC, VelShCst::SDiskFull},
        {EDQUOT, VelShCst::SDiskFull},
        {EACCES, VelShCst::SAccessDenied},
        {EPERM, VelShCst::SAccessDenied},
        {EROFS, VelShCst::SReadOnlyDrive},
        {ENOENT, VelShCst::SNotFound},
        {EEXIST, VelShCst::SNameExists},
        {ENOTEMPTY, VelShCst::SNameExists},
        {ENAMETOOLONG, VelShCst::SNameTooLong},
        {EIO, VelShCst::SIoError},
        {EBUSY, VelShCst::SBusy},
        {EXDEV, VelShCst::SCrossDevice},
    };
    for (const auto& reason : kReasons)
        if (reason.error == error)
            return VelShCst::Text(reason.text);
    return QString::fromLocal8Bit(std::strerror(error));
}

// --- TShFileCopier ----------------------------------------------------------------------

TShFileCopier::TShFileCopier(TShFileJob job, Ask ask, Progress progress,
                             const std::atomic<bool>& cancel)
    : job_(std::move(job)), ask_(std::move(ask)), progress_(std::move(progress)), cancel_(cancel) {
    job_.targetFolder = withoutTrailingSlash(job_.targetFolder);
    for (std::string& s : job_.sources)
        s = withoutTrailingSlash(s);
}

std::int64_t TShFileCopier::unitsOf(const std::string& path, bool needsCopy) const {
    struct stat st;
    if (!needsCopy || ::lstat(path.c_str(), &st) != 0)
        return 1;
    std::int64_t units = 1;
    if (S_ISREG(st.st_mode))
        units += st.st_size;
    if (S_ISDIR(st.st_mode) && !cancelled()) {
        bool ok;
        for (const std::string& n : childNames(path, ok))
            units += unitsOf(joinPath(path, n), true);
    }
    return units;
}

TShOperationResult TShFileCopier::Run() {
    result_ = TShOperationResult();
    result_.op = job_.op;
    struct stat target;
    const bool haveTarget = ::stat(job_.targetFolder.c_str(), &target) == 0;
    for (const std::string& s : job_.sources) {
        bool needsCopy = job_.op == TShFileOp::Copy;
        struct stat st;
        if (job_.op == TShFileOp::Move && haveTarget && ::lstat(s.c_str(), &st) == 0)
            needsCopy = st.st_dev != target.st_dev;
        total_ += unitsOf(s, needsCopy);
    }
    advance(0, job_.sources.empty() ? std::string() : job_.sources.front());
    for (const std::string& source : job_.sources) {
        if (cancelled())
            break;
        const std::string name = baseName(source);
        std::string made;
        Outcome outcome = Outcome::Failed;
        switch (job_.op) {
        case TShFileOp::Copy:
            outcome = copyItem(source, job_.targetFolder, name, &made);
            break;
        case TShFileOp::Move:
            outcome = moveItem(source, job_.targetFolder, name, &made);
            break;
        case TShFileOp::Link:
            outcome = linkItem(source, job_.targetFolder, name, &made);
            break;
        case TShFileOp::Trash:
            outcome = trashItem(source);
            break;
        }
        if (outcome == Outcome::Done) {
            ++result_.done;
            if (!made.empty())
                result_.created.push_back(made);
        } else if (outcome == Outcome::Skipped) {
            ++result_.skipped;
        } else if (outcome == Outcome::Cancelled) {
            break;
        }
    }
    result_.cancelled = cancelled();
    return result_;
}

bool TShFileCopier::cancelled() const {
    return cancel_.load() || userCancelled_;
}

void TShFileCopier::fail(const char* text, const std::string& path, int error) {
    QString line = QString::fromUtf8(text).arg(toDisplayQ(baseName(path)));
    if (line.contains(QLatin1String("%2")))
        line = line.arg(ShErrorText(error));
    result_.errors << line;
    ++problems_;
}

void TShFileCopier::advance(std::int64_t units, const std::string& path) {
    done_ += units;
    if (progress_)
        progress_(done_, total_, toDisplayQ(baseName(path)));
}

TShFileCopier::Outcome TShFileCopier::place(const std::string& source, const struct stat& st,
                                            const std::string& folder, const std::string& name,
                                            Place& out) {
    const std::string dest = joinPath(folder, name);
    struct stat dt;
    if (::lstat(dest.c_str(), &dt) != 0) {
        out = {dest, false};
        return Outcome::Done;
    }
    if (dt.st_dev == st.st_dev && dt.st_ino == st.st_ino) {
        // The item onto itself: only a numbered copy keeps both.
        out = {joinPath(folder, ShNumberedName(folder, name)), false};
        return Outcome::Done;
    }
    TShConflict conflict;
    conflict.source = source;
    conflict.target = dest;
    conflict.sourceIsFolder = S_ISDIR(st.st_mode);
    conflict.targetIsFolder = S_ISDIR(dt.st_mode);
    conflict.sourceSize = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    conflict.targetSize = S_ISREG(dt.st_mode) ? static_cast<std::uint64_t>(dt.st_size) : 0;
    conflict.sourceTime = nanoseconds(st.st_mtim);
    conflict.targetTime = nanoseconds(dt.st_mtim);
    TShConflictAnswer answer;
    if (haveAnswerForAll_) {
        answer = answerForAll_;
    } else {
        // Without anyone to ask, nothing is replaced.
        answer = ask_ ? ask_(conflict) : TShConflictAnswer{TShConflictAnswer::Skip, false};
        if (answer.applyToAll && answer.choice != TShConflictAnswer::Cancel) {
            haveAnswerForAll_ = true;
            answerForAll_ = answer;
        }
    }
    if (cancel_.load())
        return Outcome::Cancelled;
    switch (answer.choice) {
    case TShConflictAnswer::Overwrite:
        if (conflict.sourceIsFolder != conflict.targetIsFolder) {
            fail(VelShCst::SKindDiffers, dest, 0);
            return Outcome::Failed;
        }
        out = {dest, true};
        return Outcome::Done;
    case TShConflictAnswer::Skip:
        ++problems_;
        return Outcome::Skipped;
    case TShConflictAnswer::RenameWithNumber:
        out = {joinPath(folder, ShNumberedName(folder, name)), false};
        return Outcome::Done;
    case TShConflictAnswer::Cancel:
        break;
    }
    userCancelled_ = true;
    return Outcome::Cancelled;
}

TShFileCopier::Outcome TShFileCopier::copyItem(const std::string& source, const std::string& folder,
                                               const std::string& name, std::string* made) {
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) {
        fail(VelShCst::SCopyFailed, source, errno);
        return Outcome::Failed;
    }
    if (S_ISDIR(st.st_mode) && ShIsPathInside(folder, source)) {
        fail(VelShCst::SIntoItself, source, 0);
        return Outcome::Failed;
    }
    Place dest;
    const Outcome placed = place(source, st, folder, name, dest);
    if (placed != Outcome::Done)
        return placed;
    const Outcome copied = copyTo(source, st, dest.path, dest.overwrite, false);
    if (copied == Outcome::Done && made)
        *made = dest.path;
    return copied;
}

TShFileCopier::Outcome TShFileCopier::copyTo(const std::string& source, const struct stat& st,
                                             const std::string& dest, bool overwrite, bool fresh) {
    if (S_ISREG(st.st_mode))
        return copyFile(source, st, dest, overwrite, fresh);
    if (S_ISLNK(st.st_mode))
        return copyLink(source, st, dest, overwrite, fresh);
    if (S_ISDIR(st.st_mode))
        return copyFolder(source, st, dest, overwrite, fresh);
    fail(VelShCst::SUnsupportedKind, source, 0);
    return Outcome::Failed;
}

bool TShFileCopier::publish(const std::string& temp, const std::string& dest, bool overwrite) {
    return overwrite ? ::rename(temp.c_str(), dest.c_str()) == 0 : ShRenameNoReplace(temp, dest);
}

TShFileCopier::Outcome TShFileCopier::copyFile(const std::string& source, const struct stat& st,
                                               const std::string& dest, bool overwrite,
                                               bool fresh) {
    advance(0, source);
    // Non-blocking and checked again once open: a FIFO put in the file's place since it
    // was looked at would hold the operation up for good, beyond its cancel button.
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat opened;
    const int openError = !in.valid()                          ? errno
                          : ::fstat(in.get(), &opened) != 0    ? errno
                          : !S_ISREG(opened.st_mode)           ? EINVAL
                          : ::fcntl(in.get(), F_SETFL, 0) != 0 ? errno
                                                               : 0;
    if (openError != 0) {
        fail(VelShCst::SCopyFailed, source, openError);
        return Outcome::Failed;
    }
    // Inside a folder that is itself still under a temporary name, files take
    // their own names at once.
    std::string temp = fresh ? dest : temporaryPath(ShParentPath(dest));
    UniqueFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    for (int tries = 0; !out.valid() && errno == EEXIST && !fresh && tries < 100; ++tries) {
        temp = temporaryPath(ShParentPath(dest));
        out.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    }
    if (!out.valid()) {
        fail(VelShCst::SCopyFailed, source, errno);
        return Outcome::Failed;
    }
    const auto discard = [&](int error) {
        out.reset();
        ::unlink(temp.c_str());
        if (error >= 0)
            fail(VelShCst::SCopyFailed, source, error);
    };
    bool inKernel = true;
    std::vector<char> buffer;
    for (;;) {
        if (cancelled()) {
            discard(-1);
            return Outcome::Cancelled;
        }
        ssize_t n;
        if (inKernel) {
            n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, blockSize_, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EPERM)) {
                inKernel = false; // file systems or kernels that cannot: plain reads and writes
                continue;
            }
        } else {
            buffer.resize(blockSize_);
            n = ::read(in.get(), buffer.data(), buffer.size());
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w = ::write(out.get(), buffer.data() + written,
                                          static_cast<std::size_t>(n - written));
                if (w < 0 && errno != EINTR) {
                    n = -1;
                    break;
                }
                written += std::max<ssize_t>(w, 0);
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            discard(errno);
            return Outcome::Failed;
        }
        if (n == 0)
            break;
        advance(n, source);
        if (blockObserver_)
            blockObserver_();
    }
    // Owner first: a change of owner clears set-user-ID bits that the mode then restores.
    [[maybe_unused]] const int ignored = ::fchown(out.get(), st.st_uid, st.st_gid);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    // A file inside a new folder is flushed with the whole folder, before the
    // folder takes its name.
    if ((!fresh && ::fsync(out.get()) != 0) || ::fchmod(out.get(), st.st_mode & 07777) != 0 ||
        ::futimens(out.get(), times) != 0) {
        discard(errno);
        return Outcome::Failed;
    }
    // Network file systems report write errors as late as here.
    if (::close(out.release()) != 0) {
        discard(errno);
        return Outcome::Failed;
    }
    if (!fresh) {
        if (!publish(temp, dest, overwrite)) {
            const int error = errno;
            ::unlink(temp.c_str());
            if (error == EEXIST)
                fail(VelShCst::SNameTakenMeanwhile, dest, 0);
            else
                fail(VelShCst::SCopyFailed, source, error);
            return Outcome::Failed;
        }
        syncFolder(ShParentPath(dest));
    }
    advance(1, source);
    return Outcome::Done;
}

TShFileCopier::Outcome TShFileCopier::copyLink(const std::string& source, const struct stat& st,
                                               const std::string& dest, bool overwrite,
                                               bool fresh) {
    std::string target(static_cast<std::size_t>(std::max<off_t>(st.st_size, 255)) + 1, '\0');
    const ssize_t n = ::readlink(source.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
        fail(VelShCst::SCopyFailed, source, n < 0 ? errno : ENAMETOOLONG);
        return Outcome::Failed;
    }
    target.resize(static_cast<std::size_t>(n));
    std::string temp = fresh ? dest : temporaryPath(ShParentPath(dest));
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        fail(VelShCst::SCopyFailed, source, errno);
        return Outcome::Failed;
    }
    copyOwnerAndTimes(temp, st, true);
    if (!fresh && !publish(temp, dest, overwrite)) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail(error == EEXIST ? VelShCst::SNameTakenMeanwhile : VelShCst::SCopyFailed,
             error == EEXIST ? dest : source, error);
        return Outcome::Failed;
    }
    advance(1, source);
    return Outcome::Done;
}

TShFileCopier::Outcome TShFileCopier::copyFolder(const std::string& source, const struct stat& st,
                                                 const std::string& dest, bool merge, bool fresh) {
    if (merge) {
        const Outcome children = copyChildren(source, dest, false);
        if (children == Outcome::Done)
            advance(1, source);
        return children;
    }
    std::string temp = fresh ? dest : temporaryPath(ShParentPath(dest));
    int made = ::mkdir(temp.c_str(), 0700);
    for (int tries = 0; made != 0 && errno == EEXIST && !fresh && tries < 100; ++tries) {
        temp = temporaryPath(ShParentPath(dest));
        made = ::mkdir(temp.c_str(), 0700);
    }
    if (made != 0) {
        fail(VelShCst::SCopyFailed, source, errno);
        return Outcome::Failed;
    }
    const Outcome children = copyChildren(source, temp, true);
    if (children == Outcome::Cancelled) {
        if (!fresh)
            removeTree(temp); // nothing of a cancelled folder stays behind
        return children;
    }
    copyOwnerAndTimes(temp, st, false);
    if (!fresh) {
        // One flush of the file system puts everything of the new folder on disk:
        // far cheaper than one per file, and done before the folder appears (and
        // before a moved source is deleted).
        if (!syncFileSystem(temp)) {
            const int error = errno;
            removeTree(temp);
            fail(VelShCst::SCopyFailed, source, error);
            return Outcome::Failed;
        }
        if (!publish(temp, dest, false)) {
            const int error = errno;
            removeTree(temp);
            fail(error == EEXIST ? VelShCst::SNameTakenMeanwhile : VelShCst::SCopyFailed,
                 error == EEXIST ? dest : source, error);
            return Outcome::Failed;
        }
        syncFolder(ShParentPath(dest));
    }
    advance(1, source);
    return Outcome::Done;
}

// A folder whose children cannot all be copied is still copied with the rest;
// each failure is reported on its own.
TShFileCopier::Outcome TShFileCopier::copyChildren(const std::string& source,
                                                   const std::string& dest, bool fresh) {
    bool listed;
    const std::vector<std::string> names = childNames(source, listed);
    if (!listed) {
        fail(VelShCst::SCopyFailed, source, errno);
        return Outcome::Failed;
    }
    for (const std::string& name : names) {
        if (cancelled())
            return Outcome::Cancelled;
        const std::string child = joinPath(source, name);
        struct stat st;
        if (::lstat(child.c_str(), &st) != 0) {
            fail(VelShCst::SCopyFailed, child, errno);
            continue;
        }
        Place to{joinPath(dest, name), false};
        if (!fresh) {
            const Outcome placed = place(child, st, dest, name, to);
            if (placed == Outcome::Cancelled)
                return placed;
            if (placed != Outcome::Done)
                continue;
        }
        if (copyTo(child, st, to.path, to.overwrite, fresh) == Outcome::Cancelled)
            return Outcome::Cancelled;
    }
    return Outcome::Done;
}

TShFileCopier::Outcome TShFileCopier::moveItem(const std::string& source, const std::string& folder,
                                               const std::string& name, std::string* made) {
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) {
        fail(VelShCst::SMoveFailed, source, errno);
        return Outcome::Failed;
    }
    if (ShParentPath(source) == folder)
        return Outcome::Skipped; // already there
    if (S_ISDIR(st.st_mode) && ShIsPathInside(folder, source)) {
        fail(VelShCst::SIntoItself, source, 0);
        return Outcome::Failed;
    }
    Place dest;
    const Outcome placed = place(source, st, folder, name, dest);
    if (placed != Outcome::Done)
        return placed;
    if (made)
        *made = dest.path;
    if (dest.overwrite && S_ISDIR(st.st_mode)) {
        // Into a folder of the same name: its items one by one; the emptied
        // source folder goes, one that keeps skipped items stays.
        bool listed;
        for (const std::string& child : childNames(source, listed)) {
            if (moveItem(joinPath(source, child), dest.path, child, nullptr) == Outcome::Cancelled)
                return Outcome::Cancelled;
        }
        if (listed)
            ::rmdir(source.c_str());
        advance(1, source);
        return Outcome::Done;
    }
    const bool renamed = dest.overwrite ? ::rename(source.c_str(), dest.path.c_str()) == 0
                                        : ShRenameNoReplace(source, dest.path);
    if (renamed) {
        syncFolder(folder);
        syncFolder(ShParentPath(source));
        advance(1, source);
        return Outcome::Done;
    }
    if (errno != EXDEV) {
        const int error = errno;
        fail(error == EEXIST ? VelShCst::SNameTakenMeanwhile : VelShCst::SMoveFailed,
             error == EEXIST ? dest.path : source, error);
        return Outcome::Failed;
    }
    // Another file system: copy, and delete the source only once all of it is
    // safely in place.
    const int problemsBefore = problems_;
    const Outcome copied = copyTo(source, st, dest.path, dest.overwrite, false);
    if (copied == Outcome::Done && problems_ == problemsBefore && !cancelled() &&
        !removeTree(source))
        fail(VelShCst::SSourceNotDeleted, source, errno);
    return copied;
}

TShFileCopier::Outcome TShFileCopier::linkItem(const std::string& source, const std::string& folder,
                                               const std::string& name, std::string* made) {
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) {
        fail(VelShCst::SLinkFailed, source, errno);
        return Outcome::Failed;
    }
    Place dest;
    const Outcome placed = place(source, st, folder, name, dest);
    if (placed != Outcome::Done)
        return placed;
    const std::string temp = temporaryPath(folder);
    if (::symlink(source.c_str(), temp.c_str()) != 0 || !publish(temp, dest.path, dest.overwrite)) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail(VelShCst::SLinkFailed, source, error);
        return Outcome::Failed;
    }
    if (made)
        *made = dest.path;
    advance(1, source);
    return Outcome::Done;
}

TShFileCopier::Outcome TShFileCopier::trashItem(const std::string& source) {
    advance(0, source);
    if (!MoveToTrash(source)) {
        fail(VelShCst::STrashFailed, source, errno);
        return Outcome::Failed;
    }
    advance(1, source);
    return Outcome::Done;
}

// --- TShFileOperation ---------------------------------------------------------------------

struct TShFileOperation::Question {
    std::mutex m;
    std::condition_variable cv;
    bool answered = false;
    bool abandoned = false;
    TShConflictAnswer answer;
};

TShFileOperation::TShFileOperation(TShFileJob job, Ask ask, QObject* parent)
    : QObject(parent), job_(std::move(job)), ask_(std::move(ask)) {
    qRegisterMetaType<kelvora::TShOperationResult>();
}

TShFileOperation::~TShFileOperation() {
    Cancel();
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

bool TShFileOperation::IsRunning() const {
    return running_;
}

void TShFileOperation::Start() {
    if (thread_)
        return;
    running_ = true;
    thread_ = QThread::create([this] {
        TShFileCopier copier(
            job_, [this](const TShConflict& c) { return askFromWorker(c); },
            [this](std::int64_t done, std::int64_t total, const QString& item) {
                emit progress(done, total, item);
            },
            cancel_);
        copier.setBlockObserver(blockObserver_);
        copier.setBlockSize(blockSize_);
        const TShOperationResult result = copier.Run();
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                thread_->wait();
                result_ = result;
                running_ = false;
                emit finished(result_);
            },
            Qt::QueuedConnection);
    });
    thread_->setObjectName(QStringLiteral("file operation"));
    thread_->start();
}

void TShFileOperation::Cancel() {
    cancel_ = true;
    std::shared_ptr<Question> q;
    {
        std::lock_guard guard(questionMutex_);
        q = question_;
    }
    if (q) {
        {
            std::lock_guard guard(q->m);
            q->abandoned = true;
        }
        q->cv.notify_all();
    }
}

TShConflictAnswer TShFileOperation::askFromWorker(const TShConflict& conflict) {
    auto q = std::make_shared<Question>();
    {
        std::lock_guard guard(questionMutex_);
        if (cancel_.load())
            return {};
        question_ = q;
    }
    // The question runs on the GUI thread and touches only what it captured, so
    // that the operation may go away while a dialog is open.
    QMetaObject::invokeMethod(
        this,
        [ask = ask_, q, conflict] {
            const TShConflictAnswer answer =
                ask ? ask(conflict) : TShConflictAnswer{TShConflictAnswer::Skip, false};
            {
                std::lock_guard guard(q->m);
                q->answer = answer;
                q->answered = true;
            }
            q->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(q->m);
    q->cv.wait(lock, [&] { return q->answered || q->abandoned; });
    const TShConflictAnswer answer = q->answered ? q->answer : TShConflictAnswer{};
    lock.unlock();
    std::lock_guard guard(questionMutex_);
    question_.reset();
    return answer;
}

} // namespace kelvora

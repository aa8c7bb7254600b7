#include "shell/items/trash.h"

#include "base/file_io.h"
#include "base/hex.h"
#include "shell/items/dir_handle.h"
#include "shell/items/drive_ready.h"
#include "shell/items/mounts.h"
#include "shell/items/xdg_dirs.h"

#include <QDateTime>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

bool isTrashDir(const std::string& dir) {
    struct stat st;
    return ::lstat((dir + "/files").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = HexDigitValue(s[i + 1]), lo = HexDigitValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string PercentEncode(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : s) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

namespace {

// mkdir -p with the trash's private mode; true when dir is a folder of ours.
bool makePrivateDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool makeTrashDir(const std::string& dir) {
    const std::size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        struct stat st;
        const std::string parent = dir.substr(0, slash);
        if (::stat(parent.c_str(), &st) != 0 && !makeTrashDir(parent))
            return false;
    }
    return makePrivateDir(dir);
}

// The top folder of the file system that holds path.
std::string mountTop(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    std::string top = path;
    for (;;) {
        const std::size_t slash = top.rfind('/');
        if (slash == std::string::npos)
            return {};
        const std::string parent = slash == 0 ? "/" : top.substr(0, slash);
        struct stat pst;
        if (::stat(parent.c_str(), &pst) != 0 || pst.st_dev != st.st_dev)
            return top;
        if (parent == "/")
            return parent;
        top = parent;
    }
}

std::string nowText() {
    return QDateTime::currentDateTime()
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        .toStdString();
}

} // namespace

bool MoveToTrash(const std::string& path) {
    struct stat st;
    if (path.empty() || path[0] != '/' || ::lstat(path.c_str(), &st) != 0)
        return false;
    std::string trash = XdgDataHome() + "/Trash";
    std::string infoPath = path; // the home trash records absolute paths
    struct stat hst;
    const bool homeOk = makeTrashDir(trash + "/files") && makeTrashDir(trash + "/info") &&
                        ::stat(trash.c_str(), &hst) == 0 && hst.st_dev == st.st_dev;
    if (!homeOk) {
        const std::string top = mountTop(path);
        if (top.empty() || top == path)
            return errno = EXDEV, false;
        trash = (top == "/" ? std::string() : top) + "/.Trash-" + std::to_string(::getuid());
        if (!makePrivateDir(trash) || !makePrivateDir(trash + "/files") ||
            !makePrivateDir(trash + "/info"))
            return false;
        // Drive trashes record paths relative to the drive's top.
        infoPath = top == "/" ? path.substr(1) : path.substr(top.size() + 1);
    }
    const std::string base = path.substr(path.rfind('/') + 1);
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncode(infoPath) + "\nDeletionDate=" + nowText() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoFile = trash + "/info/" + name + ".trashinfo";
        // Claiming the info file's name claims the name in files/ too.
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written =
            ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size()) &&
            ::fsync(fd) == 0;
        ::close(fd);
        const std::string target = trash + "/files/" + name;
        if (written &&
            ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        const int error = errno;
        ::unlink(infoFile.c_str());
        if (error != EEXIST) {
            errno = error;
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

std::vector<std::string> TrashDirectories() {
    std::vector<std::string> dirs;
    const std::string home = XdgDataHome() + "/Trash";
    if (isTrashDir(home))
        dirs.push_back(home);
    const std::string uid = std::to_string(getuid());
    for (const TDrive& drive : ShownDrives()) {
        // A network drive whose server is gone would never answer.
        if (drive.kind == TDriveKind::Network && !ShDriveReady(drive.mountPoint))
            continue;
        const std::string top = drive.mountPoint == "/" ? std::string() : drive.mountPoint;
        // $top/.Trash is shared only when it is a real sticky folder.
        struct stat st;
        const std::string shared = top + "/.Trash";
        if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
            isTrashDir(shared + "/" + uid))
            dirs.push_back(shared + "/" + uid);
        const std::string own = top + "/.Trash-" + uid;
        if (isTrashDir(own))
            dirs.push_back(own);
    }
    // A drive's trash may be the home trash seen again (home on that drive).
    std::vector<std::string> unique;
    for (const std::string& d : dirs) {
        bool seen = false;
        for (const std::string& u : unique)
            seen = seen || u == d;
        if (!seen)
            unique.push_back(d);
    }
    return unique;
}

bool ReadTrashInfo(const std::string& trashDir, const std::string& name, TTrashInfo& info) {
    // Anyone may put anything into a trash folder on a shared drive.
    const std::optional<std::string> text =
        readSmallFile(trashDir + "/info/" + name + ".trashinfo");
    if (!text)
        return false;
    bool inSection = false, found = false;
    forEachLine(*text, [&](std::string_view line) {
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[Trash Info]";
        } else if (inSection && line.starts_with("Path=")) {
            info.originalPath = PercentDecode(line.substr(5));
            found = true;
        } else if (inSection && line.starts_with("DeletionDate=")) {
            const std::string_view date = line.substr(13);
            const QDateTime t = QDateTime::fromString(
                QString::fromLatin1(date.data(), static_cast<qsizetype>(date.size())), Qt::ISODate);
            if (t.isValid())
                info.deletionTime = t.toMSecsSinceEpoch() * 1000000;
        }
        return true;
    });
    return found;
}

std::string TrashDisplayName(const std::string& trashDir, const std::string& name) {
    TTrashInfo info;
    if (ReadTrashInfo(trashDir, name, info)) {
        std::string path = info.originalPath;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        const std::string base = path.substr(path.rfind('/') + 1);
        if (!base.empty())
            return base;
    }
    return name;
}

bool TrashIsEmpty() {
    for (const std::string& dir : TrashDirectories()) {
        TDirHandle d(::opendir((dir + "/files").c_str()));
        if (!d)
            continue;
        bool empty = true;
        while (const dirent* e = ::readdir(d.get())) {
            const std::string_view n = e->d_name;
            if (n != "." && n != "..") {
                empty = false;
                break;
            }
        }
        if (!empty)
            return false;
    }
    return true;
}

} // namespace kelvora

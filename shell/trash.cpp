#include "shell/trash.h"

#include "base/hex.h"
#include "shell/dir_handle.h"
#include "shell/mounts.h"
#include "shell/xdg_dirs.h"

#include <QDateTime>
#include <fstream>
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

std::vector<std::string> TrashDirectories() {
    std::vector<std::string> dirs;
    const std::string home = XdgDataHome() + "/Trash";
    if (isTrashDir(home))
        dirs.push_back(home);
    const std::string uid = std::to_string(getuid());
    for (const TDrive& drive : ShownDrives()) {
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
    std::ifstream in(trashDir + "/info/" + name + ".trashinfo", std::ios::binary);
    if (!in)
        return false;
    std::string line;
    bool inSection = false, found = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[Trash Info]";
            continue;
        }
        if (!inSection)
            continue;
        if (line.rfind("Path=", 0) == 0) {
            info.originalPath = PercentDecode(std::string_view(line).substr(5));
            found = true;
        } else if (line.rfind("DeletionDate=", 0) == 0) {
            const QDateTime t =
                QDateTime::fromString(QString::fromLatin1(line.substr(13)), Qt::ISODate);
            if (t.isValid())
                info.deletionTime = t.toMSecsSinceEpoch() * 1000000;
        }
    }
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

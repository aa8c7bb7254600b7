#include "shell/items/fs_folder.h"

#include "base/file_io.h"
#include "shell/items/dir_handle.h"
#include "shell/shell_texts.h"
#include "shell/items/trash.h"
#include "shell/items/xdg_dirs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kelvora {

namespace {

constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kFuseMagic = 0x65735546;

std::int64_t nanoseconds(const statx_timestamp& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The lines of a small side file (a .desktop entry, a .hidden list); none when it is
// no regular file of at most kSmallFileLimit bytes. Such files are read on the GUI
// thread while a folder is listed: a FIFO or a link to a device in their place must
// cost nothing.
template <typename Visit> void forEachLineOf(const std::string& file, Visit visit) {
    if (const std::optional<std::string> text = readSmallFile(file))
        forEachLine(*text, visit);
}

// The value of key in the [Desktop Entry] group of a .desktop file.
std::string desktopEntryValue(const std::string& file, std::string_view key) {
    std::string value;
    bool inGroup = false;
    forEachLineOf(file, [&](std::string_view line) {
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            return true;
        }
        if (!inGroup || line.size() <= key.size() || line.compare(0, key.size(), key) != 0)
            return true;
        std::size_t p = key.size();
        while (p < line.size() && line[p] == ' ')
            ++p;
        if (p >= line.size() || line[p] != '=')
            return true;
        ++p;
        while (p < line.size() && line[p] == ' ')
            ++p;
        value = line.substr(p);
        return false;
    });
    return value;
}

} // namespace

bool ShWritableByUser(mode_t mode, uid_t uid, gid_t gid) {
    if (uid == geteuid())
        return mode & S_IWUSR;
    bool inGroup = gid == getegid();
    if (!inGroup) {
        gid_t groups[NGROUPS_MAX];
        const int n = getgroups(NGROUPS_MAX, groups);
        for (int i = 0; i < n && !inGroup; ++i)
            inGroup = groups[i] == gid;
    }
    return mode & (inGroup ? S_IWGRP : S_IWOTH);
}

namespace {

TShFindData findDataOf(const struct statx& sx, const std::string& fileName) {
    TShFindData data;
    const bool dir = S_ISDIR(sx.stx_mode);
    std::uint32_t attrs = 0;
    if (dir)
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
    if (!ShWritableByUser(sx.stx_mode, sx.stx_uid, sx.stx_gid))
        attrs |= FILE_ATTRIBUTE_READONLY;
    if (!fileName.empty() && fileName[0] == '.')
        attrs |= FILE_ATTRIBUTE_HIDDEN;
    data.fileAttributes = attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    data.lastAccessTime = nanoseconds(sx.stx_atime);
    data.lastWriteTime = nanoseconds(sx.stx_mtime);
    if (sx.stx_mask & STATX_BTIME)
        data.creationTime = nanoseconds(sx.stx_btime);
    const std::uint64_t size = dir ? 0 : sx.stx_size;
    data.fileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    data.fileSizeLow = static_cast<std::uint32_t>(size);
    data.fileName = fileName;
    return data;
}

} // namespace

bool ShFindDataOfPath(const std::string& path, const std::string& fileName, TShFindData& data) {
    struct statx sx;
    constexpr unsigned kWanted = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, kWanted, &sx) != 0 &&
        ::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW, kWanted, &sx) != 0)
        return false;
    data = findDataOf(sx, fileName);
    return true;
}

bool ShCachedStat(const std::string& path, struct statx& sx) {
    return ::statx(AT_FDCWD, path.c_str(),
                   AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                   STATX_BASIC_STATS | STATX_BTIME, &sx) == 0;
}

bool ShFindDataOfMount(const std::string& mountPoint, const std::string& fileName,
                       TShFindData& data) {
    struct statx sx;
    if (!ShCachedStat(mountPoint, sx))
        return false;
    data = findDataOf(sx, fileName);
    return true;
}

bool ShHasSubfolder(const std::string& path) {
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) == 0) {
        const long type = static_cast<long>(fs.f_type);
        if (type == NFS_SUPER_MAGIC || type == kCifsMagic || type == kSmb2Magic ||
            type == kFuseMagic)
            return true;
    }
    TDirHandle d(::opendir(path.c_str()));
    if (!d)
        return false;
    const int fd = ::dirfd(d.get());
    while (const dirent* e = ::readdir(d.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (e->d_type == DT_DIR)
            return true;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
                return true;
        }
    }
    return false;
}

TFsFolder::TFsFolder(PItemIDList absoluteID, std::string path, TShItemKind childKind)
    : TShellFolder(absoluteID), path_(std::move(path)), childKind_(childKind) {}

bool TFsFolder::IsValidName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string TFsFolder::childPath(std::string_view name) const {
    std::string p = path_;
    if (p.empty() || p.back() != '/')
        p += '/';
    p += name;
    return p;
}

bool TFsFolder::isHiddenName(std::string_view name) {
    if (!name.empty() && name[0] == '.')
        return true;
    if (!hiddenNames_)
        hiddenNames_ = ShHiddenList(path_);
    return ShIsHiddenName(name, *hiddenNames_);
}

std::unordered_set<std::string> ShHiddenList(const std::string& folder) {
    // Names listed in the folder's .hidden file are hidden as dot files are.
    std::unordered_set<std::string> names;
    std::string file = folder;
    if (file.empty() || file.back() != '/')
        file += '/';
    forEachLineOf(file + ".hidden", [&](std::string_view line) {
        if (!line.empty())
            names.emplace(line);
        return true;
    });
    return names;
}

bool ShIsHiddenName(std::string_view name, const std::unordered_set<std::string>& hiddenList) {
    return (!name.empty() && name[0] == '.') || hiddenList.count(std::string(name)) != 0;
}

TFsFolder::Entry& TFsFolder::insert(std::string_view name, unsigned char dtype, bool hidden) {
    auto [it, added] = entries_.try_emplace(std::string(name));
    Entry& e = it->second;
    if (added) {
        e.dtype = dtype;
        e.hidden = hidden;
        e.sort.name = it->first;
        e.sort.tieBreak = it->first;
    }
    return e;
}

bool TFsFolder::enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) {
    entries_.clear();
    hiddenNames_.reset();
    TDirHandle d(::opendir(path_.c_str()));
    if (!d)
        return false;
    const int fd = ::dirfd(d.get());
    const bool wantFolders = flags & SHCONTF_FOLDERS;
    const bool wantFiles = flags & SHCONTF_NONFOLDERS;
    const bool wantHidden = flags & SHCONTF_INCLUDEHIDDEN;
    while (const dirent* de = ::readdir(d.get())) {
        const std::string_view name = de->d_name;
        if (name == "." || name == "..")
            continue;
        const bool hidden = isHiddenName(name);
        if (hidden && !wantHidden)
            continue;
        if (!wantFolders || !wantFiles) {
            bool dir = de->d_type == DT_DIR;
            if (de->d_type == DT_LNK || de->d_type == DT_UNKNOWN) {
                struct stat st;
                dir = ::fstatat(fd, de->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (dir ? !wantFolders : !wantFiles)
                continue;
        }
        insert(name, de->d_type, hidden);
        if (PItemIDList id = IDMakeItem(childKind_, name))
            items.emplace_back(id);
    }
    return true;
}

TFsFolder::Entry* TFsFolder::lookUp(std::string_view name) {
    if (auto it = entries_.find(name); it != entries_.end())
        return &it->second;
    // Not enumerated (or enumerated by another folder object): look at the disk.
    const std::string key(name);
    Entry probe;
    if (!readStat(key, probe))
        return nullptr;
    probe.dtype = probe.isLink ? DT_LNK : S_ISDIR(probe.mode) ? DT_DIR : DT_REG;
    probe.hidden = isHiddenName(name);
    auto it = entries_.try_emplace(key, std::move(probe)).first;
    it->second.sort.name = it->first;
    it->second.sort.tieBreak = it->first;
    return &it->second;
}

TFsFolder::Entry* TFsFolder::entryOf(PCItemIDList item) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(childKind_))
        return nullptr;
    const std::string_view name = IDItemPayload(item);
    return IsValidName(name) ? lookUp(name) : nullptr;
}

bool TFsFolder::isMountRoot(const std::string& name, Entry& e) {
    if (e.mountRoot < 0) {
        // Only folders are mounted on. Asking the cached attributes sends nothing
        // to the mounted file system.
        struct statx sx;
        e.mountRoot = e.dtype == DT_DIR && ShCachedStat(childPath(name), sx) &&
                      (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                      (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    }
    return e.mountRoot == 1;
}

bool TFsFolder::readStat(const std::string& name, Entry& e) {
    if (e.statState == 1)
        return true;
    const std::string full = childPath(name);
    struct statx sx;
    // Another file system mounted here (a network drive whose server may be gone)
    // is described from what the system knows, without asking it.
    const bool ok = isMountRoot(name, e)
                        ? ShCachedStat(full, sx)
                        : ::statx(AT_FDCWD, full.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                                  STATX_BASIC_STATS | STATX_BTIME, &sx) == 0;
    if (!ok)
        return false; // nothing kept: a later call tries again
    e.isLink = S_ISLNK(sx.stx_mode);
    e.compressed = (sx.stx_attributes_mask & STATX_ATTR_COMPRESSED) &&
                   (sx.stx_attributes & STATX_ATTR_COMPRESSED);
    e.btime = (sx.stx_mask & STATX_BTIME) ? nanoseconds(sx.stx_btime) : 0;
    e.mode = sx.stx_mode;
    e.uid = sx.stx_uid;
    e.gid = sx.stx_gid;
    e.size = sx.stx_size;
    e.mtime = nanoseconds(sx.stx_mtime);
    e.atime = nanoseconds(sx.stx_atime);
    e.targetOk = !e.isLink;
    if (e.isLink) {
        // A link shows what it points to; a broken one (or a loop) shows itself.
        struct stat st;
        if (::stat(full.c_str(), &st) == 0) {
            e.targetOk = true;
            e.mode = st.st_mode;
            e.uid = st.st_uid;
            e.gid = st.st_gid;
            e.size = static_cast<std::uint64_t>(st.st_size);
            e.mtime = nanoseconds(st.st_mtim);
            e.atime = nanoseconds(st.st_atim);
        }
    }
    e.isDir = e.targetOk && S_ISDIR(e.mode);
    e.statState = 1;
    return true;
}

bool TFsFolder::knowsIsDir(const Entry& e) const {
    return e.statState == 1 || (e.dtype != DT_LNK && e.dtype != DT_UNKNOWN);
}

bool TFsFolder::isDir(const std::string& name, Entry& e) {
    if (e.statState == 1)
        return e.isDir;
    if (knowsIsDir(e))
        return e.dtype == DT_DIR;
    return readStat(name, e) && e.isDir;
}

bool TFsFolder::isDesktopLink(const std::string& name, Entry& e) {
    if (e.desktopLink < 0) {
        e.desktopLink = endsWith(name, ".desktop") && !isDir(name, e) &&
                        desktopEntryValue(childPath(name), "Type") == "Link";
    }
    return e.desktopLink == 1;
}

bool TFsFolder::folderWritable() {
    if (writable_ < 0) {
        struct stat st;
        writable_ =
            ::stat(path_.c_str(), &st) == 0 && ShWritableByUser(st.st_mode, st.st_uid, st.st_gid);
    }
    return writable_ == 1;
}

bool TFsFolder::readOnlyMount() {
    if (readOnlyMount_ < 0) {
        struct statvfs vfs;
        readOnlyMount_ = ::statvfs(path_.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY);
    }
    return readOnlyMount_ == 1;
}

bool TFsFolder::attributesOf(PCItemIDList item, std::uint32_t& attributes) {
    Entry* e = entryOf(item);
    if (!e)
        return false;
    const std::string name(IDItemPayload(item));
    const std::uint32_t mask = attributes;
    std::uint32_t out = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANLINK;
    constexpr std::uint32_t needStat = SFGAO_READONLY | SFGAO_DROPTARGET | SFGAO_COMPRESSED;
    if ((mask & needStat) || !knowsIsDir(*e)) {
        if (!readStat(name, *e))
            return false;
    }
    const bool dir = isDir(name, *e);
    if (dir)
        out |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (e->hidden)
        out |= SFGAO_HIDDEN | SFGAO_GHOSTED;
    if ((mask & SFGAO_LINK) &&
        (e->dtype == DT_LNK || (e->statState == 1 && e->isLink) || isDesktopLink(name, *e)))
        out |= SFGAO_LINK;
    if (mask & needStat) {
        const bool readOnly = readOnlyMount() || !ShWritableByUser(e->mode, e->uid, e->gid);
        if (readOnly)
            out |= SFGAO_READONLY;
        if (dir && !readOnly)
            out |= SFGAO_DROPTARGET;
        if (e->compressed)
            out |= SFGAO_COMPRESSED;
    }
    if ((mask & (SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE)) && folderWritable() &&
        !readOnlyMount())
        out |= SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;
    if ((mask & SFGAO_HASSUBFOLDER) && dir) {
        if (e->hasSubfolder < 0)
            e->hasSubfolder = isMountRoot(name, *e) || ShHasSubfolder(childPath(name));
        if (e->hasSubfolder)
            out |= SFGAO_HASSUBFOLDER;
    }
    attributes = out & mask;
    return true;
}

bool TFsFolder::displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(childKind_))
        return false;
    const std::string_view entry = IDItemPayload(item);
    if (!IsValidName(entry))
        return false;
    if ((flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER))
        name = childPath(entry);
    else
        name = std::string(entry);
    return true;
}

PShellFolder TFsFolder::bindToObject(PCItemIDList item) {
    Entry* e = entryOf(item);
    const std::string name(IDItemPayload(item));
    if (!e || !isDir(name, *e))
        return nullptr;
    PItemIDList abs = TVelShID::IDConcat(AbsoluteID(), item);
    if (!abs)
        return nullptr;
    return std::make_shared<TFsFolder>(abs, childPath(name));
}

QStringList TFsFolder::folderIcons(const std::string& name, bool open) {
    static const std::pair<std::string_view, const char*> special[] = {
        {"DESKTOP", "user-desktop"},       {"DOCUMENTS", "folder-documents"},
        {"DOWNLOAD", "folder-download"},   {"MUSIC", "folder-music"},
        {"PICTURES", "folder-pictures"},   {"PUBLICSHARE", "folder-publicshare"},
        {"TEMPLATES", "folder-templates"}, {"VIDEOS", "folder-videos"}};
    const std::string full = childPath(name);
    const QString folder = QStringLiteral("folder");
    const std::string home = XdgHome();
    if (full == home)
        return {QStringLiteral("user-home"), folder};
    if (full == XdgDesktopPath())
        return {QStringLiteral("user-desktop"), folder};
    if (!userDirs_)
        userDirs_ = XdgUserDirs();
    for (const auto& [key, dirPath] : *userDirs_) {
        if (dirPath != full)
            continue;
        for (const auto& [k, icon] : special) {
            if (k == key)
                return {QString::fromLatin1(icon), folder};
        }
    }
    return open ? QStringList{QStringLiteral("folder-open"), folder} : QStringList{folder};
}

int TFsFolder::iconOf(PCItemIDList item, bool open) {
    Entry* e = entryOf(item);
    if (!e)
        return -1;
    const std::string name(IDItemPayload(item));
    if (isDir(name, *e))
        return iconIndex(folderIcons(name, open));
    return iconIndex(ShFileTypeOfName(name));
}

bool TFsFolder::findDataOf(PCItemIDList item, TShFindData& data) {
    Entry* e = entryOf(item);
    const std::string name(IDItemPayload(item));
    if (!e || !readStat(name, *e))
        return false;
    std::uint32_t attrs = 0;
    if (e->isDir)
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
    if (readOnlyMount() || !ShWritableByUser(e->mode, e->uid, e->gid))
        attrs |= FILE_ATTRIBUTE_READONLY;
    if (e->hidden)
        attrs |= FILE_ATTRIBUTE_HIDDEN;
    if (e->isLink)
        attrs |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (e->compressed)
        attrs |= FILE_ATTRIBUTE_COMPRESSED;
    data.fileAttributes = attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    data.creationTime = e->btime;
    data.lastAccessTime = e->atime;
    data.lastWriteTime = e->mtime;
    const std::uint64_t size = e->isDir ? 0 : e->size;
    data.fileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    data.fileSizeLow = static_cast<std::uint32_t>(size);
    data.fileName = name;
    return true;
}

bool TFsFolder::typeNameOf(PCItemIDList item, std::string& name) {
    Entry* e = entryOf(item);
    if (!e)
        return false;
    const std::string entry(IDItemPayload(item));
    name = isDir(entry, *e) ? ShFolderType()->typeName : ShFileTypeOfName(entry)->typeName;
    return true;
}

bool TFsFolder::resolveLinkOf(PCItemIDList item, PItemIDList& target) {
    Entry* e = entryOf(item);
    const std::string name(IDItemPayload(item));
    if (!e || !readStat(name, *e))
        return false;
    const std::string full = childPath(name);
    std::string to;
    if (e->isLink) {
        // Only a link whose chain ends somewhere resolves (not a broken link or a loop).
        struct stat st;
        if (::stat(full.c_str(), &st) != 0)
            return false;
        std::string buf(PATH_MAX, '\0');
        const ssize_t n = ::readlink(full.c_str(), buf.data(), buf.size());
        if (n <= 0)
            return false;
        to.assign(buf.data(), static_cast<std::size_t>(n));
        if (to[0] != '/')
            to = childPath(to);
    } else if (isDesktopLink(name, *e)) {
        std::string url = desktopEntryValue(full, "URL");
        if (url.rfind("file://", 0) == 0) {
            const std::size_t slash = url.find('/', 7);
            if (slash == std::string::npos)
                return false;
            to = PercentDecode(std::string_view(url).substr(slash));
        } else if (!url.empty() && url[0] == '/') {
            to = url;
        } else {
            return false; // a web link has no item
        }
    } else {
        return false;
    }
    return TVelShID::IDParse(to, target);
}

bool TFsFolder::setNameOf(PCItemIDList item, const std::string& newName, PItemIDList& newItem,
                          QString& error) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(childKind_) ||
        !IsValidName(IDItemPayload(item)))
        return TShellFolder::setNameOf(item, newName, newItem, error);
    if (newName.empty()) {
        error = VelShCst::Text(VelShCst::SEmptyName);
        return false;
    }
    if (!IsValidName(newName)) {
        error = VelShCst::Text(VelShCst::SBadName);
        return false;
    }
    const std::string oldName(IDItemPayload(item));
    const std::string from = childPath(oldName), to = childPath(newName);
    if (newName != oldName && !ShRenameNoReplace(from, to)) {
        error = errno == EEXIST ? VelShCst::Text(VelShCst::SNameExists)
                                : VelShCst::Text(VelShCst::SRenameFailed)
                                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    entries_.erase(oldName);
    newItem = IDMakeItem(childKind_, newName);
    return newItem != nullptr;
}

bool ShRenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    struct stat a, b;
    // A file system that ignores case finds the item itself under its new spelling.
    const bool sameItem = errno == EEXIST && ::lstat(from.c_str(), &a) == 0 &&
                          ::lstat(to.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
                          a.st_ino == b.st_ino;
    // Some file systems (older network and FUSE ones) cannot refuse to replace:
    // look first, then rename (a name made in between would be lost, as with
    // any program on such a file system).
    const bool unsupported = errno == EINVAL || errno == ENOSYS;
    if (!sameItem && !unsupported)
        return false;
    if (unsupported && ::lstat(to.c_str(), &b) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

TShSortEntry* TFsFolder::sortEntryOf(PCItemIDList item, int column) {
    Entry* e = entryOf(item);
    if (!e)
        return nullptr;
    TShSortEntry& s = e->sort;
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << column);
    if (!(s.filled & 1)) {
        const std::string& name = s.name;
        if (!knowsIsDir(*e) && !readStat(name, *e))
            return nullptr;
        s.group = isDir(name, *e) ? 1 : 2;
        fillNameKey(s);
        s.filled |= 1;
    }
    if (s.filled & bit)
        return &s;
    switch (column) {
    case 1:
    case 3:
        if (!readStat(s.name, *e))
            return nullptr;
        s.size = e->isDir ? 0 : e->size;
        s.mtime = e->mtime;
        s.filled |= 0x0A;
        break;
    case 2:
        s.type = s.group == 1 ? ShFolderType() : ShFileTypeOfName(s.name);
        s.filled |= 0x04;
        break;
    default:
        break;
    }
    return &s;
}

} // namespace kelvora

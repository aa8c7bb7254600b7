#pragma once
// A file-system folder of the namespace: the items are the folder's entries by
// name. Used for the home folder, drives, folders below them and, with desktop
// items, for the desktop folder's own entries.
//
// Attributes of an entry:
//   FOLDER, FILESYSANCESTOR  a directory (links followed)
//   FILESYSTEM, CANCOPY, CANLINK  always
//   HIDDEN, GHOSTED          a dot name, or a name in the folder's .hidden file
//   LINK                     a symbolic link, or a .desktop file of Type=Link
//   READONLY                 no write permission for us, or a read-only mount
//   CANRENAME/MOVE/DELETE    the folder itself is writable for us
//   DROPTARGET               a directory that is not read-only
//   HASSUBFOLDER             a directory with a subdirectory (see ShHasSubfolder)
//   COMPRESSED               statx reports the file compressed
// Sorting by name reads no inode for entries whose type readdir reports.
#include "shell/items/shell_folder.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kelvora {

class TFsFolder : public TShellFolder {
public:
    // absoluteID is taken over; childKind is the kind of the items it answers for.
    TFsFolder(PItemIDList absoluteID, std::string path, TShItemKind childKind = TShItemKind::Entry);

    std::string Path() const override { return path_; }

    // Whether a name can stand for an entry (no "/", NUL, "." or "..").
    static bool IsValidName(std::string_view name);

protected:
    bool enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) override;
    bool attributesOf(PCItemIDList item, std::uint32_t& attributes) override;
    bool displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) override;
    PShellFolder bindToObject(PCItemIDList item) override;
    int iconOf(PCItemIDList item, bool open) override;
    bool findDataOf(PCItemIDList item, TShFindData& data) override;
    bool typeNameOf(PCItemIDList item, std::string& name) override;
    bool resolveLinkOf(PCItemIDList item, PItemIDList& target) override;
    bool setNameOf(PCItemIDList item, const std::string& newName, PItemIDList& newItem,
                   QString& error) override;
    TShSortEntry* sortEntryOf(PCItemIDList item, int column) override;

private:
    friend class TDesktopFolder;

    struct Entry {
        unsigned char dtype = 0; // DT_* from readdir, DT_UNKNOWN when looked up
        bool hidden = false;
        std::uint8_t statState = 0; // 0 not read, 1 read, 2 failed
        bool isLink = false;
        bool isDir = false;    // following links
        bool targetOk = false; // a link's target exists
        mode_t mode = 0;       // the target's mode (the link's own when broken)
        uid_t uid = 0;
        gid_t gid = 0;
        std::uint64_t size = 0;
        std::int64_t mtime = 0, atime = 0, btime = 0;
        bool compressed = false;
        std::int8_t desktopLink = -1; // a .desktop file of Type=Link; -1 not read
        std::int8_t hasSubfolder = -1;
        std::int8_t mountRoot = -1; // another file system is mounted here; -1 not read
        TShSortEntry sort;
    };

    Entry* entryOf(PCItemIDList item);
    Entry* lookUp(std::string_view name);
    Entry& insert(std::string_view name, unsigned char dtype, bool hidden);
    bool readStat(const std::string& name, Entry& e);
    bool isMountRoot(const std::string& name, Entry& e);
    bool knowsIsDir(const Entry& e) const;
    bool isDir(const std::string& name, Entry& e);
    bool isDesktopLink(const std::string& name, Entry& e);
    bool isHiddenName(std::string_view name);
    bool folderWritable();
    bool readOnlyMount();
    std::string childPath(std::string_view name) const;
    QStringList folderIcons(const std::string& name, bool open);

    std::string path_;
    TShItemKind childKind_;
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::unordered_map<std::string, Entry, NameHash, std::equal_to<>> entries_;
    std::optional<std::unordered_set<std::string>> hiddenNames_; // the folder's .hidden
    std::optional<std::vector<std::pair<std::string, std::string>>> userDirs_; // for icons
    std::int8_t writable_ = -1;
    std::int8_t readOnlyMount_ = -1;
};

// The names a folder's ".hidden" file lists (none when it is no small regular file).
std::unordered_set<std::string> ShHiddenList(const std::string& folder);
// Whether the browser hides an entry: a dot name, or a name in its folder's .hidden list.
bool ShIsHiddenName(std::string_view name, const std::unordered_set<std::string>& hiddenList);

// Whether the permission bits let this process's user write (root is not
// treated specially: the bits say what the file is meant for).
bool ShWritableByUser(mode_t mode, uid_t uid, gid_t gid);
// Find data from an lstat of path (a link's target when it has one), named fileName.
bool ShFindDataOfPath(const std::string& path, const std::string& fileName, TShFindData& data);
// The attributes of path (not following a link) as the system has them at hand,
// without asking its file system, which may be a network drive that never answers.
bool ShCachedStat(const std::string& path, struct statx& sx);
// Find data of a drive's root folder from its cached attributes.
bool ShFindDataOfMount(const std::string& mountPoint, const std::string& fileName,
                       TShFindData& data);
// rename(2) that never replaces an existing item: false with errno EEXIST when
// the new name is taken (except by the item itself on a file system that ignores case).
bool ShRenameNoReplace(const std::string& from, const std::string& to);
// Whether a folder has a subfolder; on network and FUSE file systems assumed
// without looking, since a scan there can take long. (A folder's entry for a
// folder on which another file system is mounted assumes one without asking.)
bool ShHasSubfolder(const std::string& path);

} // namespace kelvora

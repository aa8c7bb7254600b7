#include "shell/items/dir_handle.h"
#include "shell/items/trash.h"
#include "shell/items/virtual_folders.h"

#include <sys/stat.h>

namespace kelvora {

TNetworkFolder::TNetworkFolder() : TShellFolder(IDMakeVirtual(TShVirtualFolder::Network)) {}

TTrashFolder::TTrashFolder() : TShellFolder(IDMakeVirtual(TShVirtualFolder::Trash)) {}

bool TTrashFolder::parse(PCItemIDList item, std::string& trashDir, std::string& name) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(TShItemKind::TrashEntry))
        return false;
    const std::string_view p = IDItemPayload(item);
    const std::size_t nul = p.find('\0');
    if (nul == std::string_view::npos || nul == 0 || p[0] != '/')
        return false;
    trashDir = std::string(p.substr(0, nul));
    name = std::string(p.substr(nul + 1));
    return TFsFolder::IsValidName(name);
}

bool TTrashFolder::isDir(const std::string& trashDir, const std::string& name) const {
    struct stat st;
    return ::lstat((trashDir + "/files/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TTrashFolder::enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) {
    sortEntries_.clear();
    // Trashed items are shown as files: they are opened by restoring them first.
    if (!(flags & SHCONTF_NONFOLDERS))
        return true;
    for (const std::string& dir : TrashDirectories()) {
        TDirHandle d(::opendir((dir + "/files").c_str()));
        if (!d)
            continue;
        while (const dirent* e = ::readdir(d.get())) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            if (!(flags & SHCONTF_INCLUDEHIDDEN) && TrashDisplayName(dir, name).rfind('.', 0) == 0)
                continue;
            std::string payload = dir;
            payload += '\0';
            payload += name;
            if (PItemIDList id = IDMakeItem(TShItemKind::TrashEntry, payload))
                items.emplace_back(id);
        }
    }
    return true;
}

bool TTrashFolder::attributesOf(PCItemIDList item, std::uint32_t& attributes) {
    std::string dir, name;
    struct stat st;
    if (!parse(item, dir, name) || ::lstat((dir + "/files/" + name).c_str(), &st) != 0)
        return false;
    std::uint32_t a = SFGAO_CANDELETE;
    if ((attributes & (SFGAO_HIDDEN | SFGAO_GHOSTED)) &&
        TrashDisplayName(dir, name).rfind('.', 0) == 0)
        a |= SFGAO_HIDDEN | SFGAO_GHOSTED;
    attributes &= a;
    return true;
}

bool TTrashFolder::displayNameOf(PCItemIDList item, std::uint32_t, std::string& name) {
    std::string dir, entry;
    if (!parse(item, dir, entry))
        return false;
    name = TrashDisplayName(dir, entry);
    return true;
}

int TTrashFolder::iconOf(PCItemIDList item, bool) {
    std::string dir, name;
    if (!parse(item, dir, name))
        return -1;
    if (isDir(dir, name))
        return iconIndex(QStringList{QStringLiteral("folder")});
    return iconIndex(ShFileTypeOfName(TrashDisplayName(dir, name)));
}

bool TTrashFolder::findDataOf(PCItemIDList item, TShFindData& data) {
    std::string dir, name;
    return parse(item, dir, name) &&
           ShFindDataOfPath(dir + "/files/" + name, TrashDisplayName(dir, name), data);
}

bool TTrashFolder::typeNameOf(PCItemIDList item, std::string& name) {
    std::string dir, entry;
    if (!parse(item, dir, entry))
        return false;
    name = isDir(dir, entry) ? ShFolderType()->typeName
                             : ShFileTypeOfName(TrashDisplayName(dir, entry))->typeName;
    return true;
}

TShSortEntry* TTrashFolder::sortEntryOf(PCItemIDList item, int) {
    const std::string_view bytes = IDItemBytes(item);
    if (TShSortEntry* e = sortEntries_.find(bytes))
        return e;
    std::string dir, name;
    TShFindData data;
    if (!parse(item, dir, name) ||
        !ShFindDataOfPath(dir + "/files/" + name, TrashDisplayName(dir, name), data))
        return nullptr;
    TShSortEntry& e = sortEntries_.add(bytes);
    e.group = 2;
    e.name = data.fileName;
    e.tieBreak = std::string(bytes);
    e.size = data.fileSize();
    e.mtime = data.lastWriteTime;
    e.type = (data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ShFolderType()
                                                              : ShFileTypeOfName(e.name);
    fillNameKey(e);
    e.filled = 0x0F;
    return &e;
}

} // namespace kelvora

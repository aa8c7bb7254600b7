#include "base/codepage.h"
#include "shell/items/namespace.h"
#include "shell/items/trash.h"
#include "shell/items/virtual_folders.h"
#include "shell/items/xdg_dirs.h"
#include "shell/shell_texts.h"

#include <sys/stat.h>

namespace kelvora {

namespace {

constexpr TShVirtualFolder kVirtualFolders[] = {TShVirtualFolder::Home, TShVirtualFolder::Computer,
                                                TShVirtualFolder::Network, TShVirtualFolder::Trash};

std::string systemFolderType() {
    return fromQ(VelShCst::Text(VelShCst::SSystemFolder));
}

bool wantsPath(std::uint32_t flags) {
    return (flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER);
}

// A folder on disk as a desktop item: its attributes from the folder itself.
std::uint32_t folderAttributes(const std::string& path, std::uint32_t mask) {
    std::uint32_t a =
        SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_CANCOPY | SFGAO_CANLINK;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        a |= ShWritableByUser(st.st_mode, st.st_uid, st.st_gid) ? SFGAO_DROPTARGET : SFGAO_READONLY;
    if ((mask & SFGAO_HASSUBFOLDER) && ShHasSubfolder(path))
        a |= SFGAO_HASSUBFOLDER;
    return a & mask;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return base.empty() ? path : base;
}

} // namespace

// --- TSortEntryMap ------------------------------------------------------------

TShSortEntry* TSortEntryMap::find(std::string_view itemBytes) {
    auto it = entries_.find(itemBytes);
    return it == entries_.end() ? nullptr : &it->second;
}

TShSortEntry& TSortEntryMap::add(std::string_view itemBytes) {
    return entries_.try_emplace(std::string(itemBytes)).first->second;
}

// --- names ----------------------------------------------------------------------

std::string ShVirtualFolderName(TShVirtualFolder folder) {
    switch (folder) {
    case TShVirtualFolder::Home:
        return fromQ(VelShCst::Text(VelShCst::SHome));
    case TShVirtualFolder::Computer:
        return fromQ(VelShCst::Text(VelShCst::SComputer));
    case TShVirtualFolder::Network:
        return fromQ(VelShCst::Text(VelShCst::SNetwork));
    case TShVirtualFolder::Trash:
        return fromQ(VelShCst::Text(VelShCst::STrash));
    }
    return {};
}

std::string ShDesktopDisplayName() {
    return fromQ(VelShCst::Text(VelShCst::SDesktop));
}

const char* ShVirtualFolderUri(TShVirtualFolder folder) {
    switch (folder) {
    case TShVirtualFolder::Home:
        return nullptr;
    case TShVirtualFolder::Computer:
        return "computer:///";
    case TShVirtualFolder::Network:
        return "network:///";
    case TShVirtualFolder::Trash:
        return "trash:///";
    }
    return nullptr;
}

PShellFolder ShDesktopFolder() {
    return std::make_shared<TDesktopFolder>();
}

// --- TDesktopFolder -----------------------------------------------------------------

TDesktopFolder::TDesktopFolder() : TShellFolder(IDMakeEmpty()) {}

std::string TDesktopFolder::Path() const {
    return XdgDesktopPath();
}

TFsFolder& TDesktopFolder::directory() {
    if (!directory_)
        directory_ =
            std::make_unique<TFsFolder>(IDMakeEmpty(), XdgDesktopPath(), TShItemKind::DesktopEntry);
    return *directory_;
}

int TDesktopFolder::virtualFolder(PCItemIDList item) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(TShItemKind::Virtual))
        return 0;
    const std::string_view p = IDItemPayload(item);
    if (p.size() != 1 || p[0] < 1 || p[0] > 4)
        return 0;
    return p[0];
}

bool TDesktopFolder::isDesktopEntry(PCItemIDList item) const {
    return IDItemKind(item) == static_cast<std::uint8_t>(TShItemKind::DesktopEntry);
}

bool TDesktopFolder::enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) {
    sortEntries_.clear();
    if (flags & SHCONTF_FOLDERS) {
        for (TShVirtualFolder f : kVirtualFolders)
            items.emplace_back(IDMakeVirtual(f));
    }
    // A desktop folder that cannot be read leaves only the virtual folders.
    directory().enumObjects(flags, items);
    return true;
}

bool TDesktopFolder::attributesOf(PCItemIDList item, std::uint32_t& attributes) {
    if (isDesktopEntry(item))
        return directory().attributesOf(item, attributes);
    const std::uint32_t mask = attributes;
    switch (static_cast<TShVirtualFolder>(virtualFolder(item))) {
    case TShVirtualFolder::Home: {
        const std::string home = XdgHome();
        if (!IsDirectory(home))
            return false;
        attributes = folderAttributes(home, mask);
        return true;
    }
    case TShVirtualFolder::Computer:
        attributes = (SFGAO_FOLDER | SFGAO_HASSUBFOLDER) & mask;
        return true;
    case TShVirtualFolder::Network:
        attributes = SFGAO_FOLDER & mask;
        return true;
    case TShVirtualFolder::Trash:
        attributes = (SFGAO_FOLDER | SFGAO_DROPTARGET) & mask;
        return true;
    }
    return false;
}

bool TDesktopFolder::displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) {
    if (isDesktopEntry(item))
        return directory().displayNameOf(item, flags, name);
    const int v = virtualFolder(item);
    if (!v)
        return false;
    const auto folder = static_cast<TShVirtualFolder>(v);
    if (wantsPath(flags)) {
        const char* uri = ShVirtualFolderUri(folder);
        name = uri ? std::string(uri) : XdgHome();
    } else {
        name = ShVirtualFolderName(folder);
    }
    return true;
}

PShellFolder TDesktopFolder::bindToObject(PCItemIDList item) {
    if (isDesktopEntry(item))
        return directory().bindToObject(item);
    switch (static_cast<TShVirtualFolder>(virtualFolder(item))) {
    case TShVirtualFolder::Home: {
        std::string home = XdgHome();
        if (!IsDirectory(home))
            return nullptr;
        return std::make_shared<TFsFolder>(IDMakeVirtual(TShVirtualFolder::Home), std::move(home));
    }
    case TShVirtualFolder::Computer:
        return std::make_shared<TComputerFolder>();
    case TShVirtualFolder::Network:
        return std::make_shared<TNetworkFolder>();
    case TShVirtualFolder::Trash:
        return std::make_shared<TTrashFolder>();
    }
    return nullptr;
}

int TDesktopFolder::iconOf(PCItemIDList item, bool open) {
    if (isDesktopEntry(item))
        return directory().iconOf(item, open);
    switch (static_cast<TShVirtualFolder>(virtualFolder(item))) {
    case TShVirtualFolder::Home:
        return iconIndex(QStringList{QStringLiteral("user-home"), QStringLiteral("folder")});
    case TShVirtualFolder::Computer:
        return iconIndex(QStringList{QStringLiteral("computer")});
    case TShVirtualFolder::Network:
        return iconIndex(QStringList{QStringLiteral("network-workgroup")});
    case TShVirtualFolder::Trash:
        if (TrashIsEmpty())
            return iconIndex(QStringList{QStringLiteral("user-trash")});
        return iconIndex(
            QStringList{QStringLiteral("user-trash-full"), QStringLiteral("user-trash")});
    }
    return -1;
}

bool TDesktopFolder::findDataOf(PCItemIDList item, TShFindData& data) {
    if (isDesktopEntry(item))
        return directory().findDataOf(item, data);
    if (virtualFolder(item) == static_cast<int>(TShVirtualFolder::Home)) {
        const std::string home = XdgHome();
        return ShFindDataOfPath(home, baseName(home), data);
    }
    return false;
}

bool TDesktopFolder::typeNameOf(PCItemIDList item, std::string& name) {
    if (isDesktopEntry(item))
        return directory().typeNameOf(item, name);
    const int v = virtualFolder(item);
    if (!v)
        return false;
    name = v == static_cast<int>(TShVirtualFolder::Home) ? ShFolderType()->typeName
                                                         : systemFolderType();
    return true;
}

bool TDesktopFolder::setNameOf(PCItemIDList item, const std::string& newName, PItemIDList& newItem,
                               QString& error) {
    if (!isDesktopEntry(item))
        return TShellFolder::setNameOf(item, newName, newItem, error);
    return directory().setNameOf(item, newName, newItem, error);
}

bool TDesktopFolder::resolveLinkOf(PCItemIDList item, PItemIDList& target) {
    return isDesktopEntry(item) && directory().resolveLinkOf(item, target);
}

TShSortEntry* TDesktopFolder::sortEntryOf(PCItemIDList item, int column) {
    if (isDesktopEntry(item))
        return directory().sortEntryOf(item, column);
    const int v = virtualFolder(item);
    if (!v)
        return nullptr;
    const std::string_view bytes = IDItemBytes(item);
    if (TShSortEntry* e = sortEntries_.find(bytes))
        return e;
    TShSortEntry& e = sortEntries_.add(bytes);
    e.group = 0;
    e.rank = static_cast<std::uint16_t>(v);
    e.name = ShVirtualFolderName(static_cast<TShVirtualFolder>(v));
    e.tieBreak = std::string(bytes);
    e.type = ShMakeFileType(systemFolderType(), {});
    fillNameKey(e);
    e.filled = 0x0F;
    return &e;
}

bool TDesktopFolder::selfAttributes(std::uint32_t& attributes) {
    attributes = folderAttributes(Path(), attributes);
    return true;
}

bool TDesktopFolder::selfDisplayName(std::uint32_t flags, std::string& name) {
    name = wantsPath(flags) ? Path() : ShDesktopDisplayName();
    return true;
}

int TDesktopFolder::selfIcon(bool) {
    return iconIndex(QStringList{QStringLiteral("user-desktop"), QStringLiteral("folder")});
}

bool TDesktopFolder::selfTypeName(std::string& name) {
    name = systemFolderType();
    return true;
}

} // namespace kelvora

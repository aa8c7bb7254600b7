#include "base/codepage.h"
#include "shell/items/virtual_folders.h"
#include "shell/items/xdg_dirs.h"
#include "shell/shell_texts.h"

#include <sys/stat.h>

namespace kelvora {

std::string ShDriveDisplayName(const std::string& mountPoint) {
    if (mountPoint == "/")
        return fromQ(VelShCst::Text(VelShCst::SFileSystem));
    const std::size_t slash = mountPoint.rfind('/');
    return slash == std::string::npos ? mountPoint : mountPoint.substr(slash + 1);
}

std::string ShDriveDisplayName(const TDrive& drive) {
    return drive.mountPoint != "/" && !drive.label.empty() ? drive.label
                                                           : ShDriveDisplayName(drive.mountPoint);
}

std::string ShDriveTypeName(TDriveKind kind) {
    switch (kind) {
    case TDriveKind::Fixed:
        return fromQ(VelShCst::Text(VelShCst::SLocalDisk));
    case TDriveKind::Removable:
        return fromQ(VelShCst::Text(VelShCst::SRemovableDisk));
    case TDriveKind::CdRom:
        return fromQ(VelShCst::Text(VelShCst::SCdDrive));
    case TDriveKind::Network:
        return fromQ(VelShCst::Text(VelShCst::SNetworkDrive));
    }
    return {};
}

QStringList ShDriveIcons(TDriveKind kind) {
    const QString disk = QStringLiteral("drive-harddisk");
    switch (kind) {
    case TDriveKind::Fixed:
        return {disk};
    case TDriveKind::Removable:
        return {QStringLiteral("drive-removable-media"), disk};
    case TDriveKind::CdRom:
        return {QStringLiteral("drive-optical"), disk};
    case TDriveKind::Network:
        return {QStringLiteral("folder-remote"), disk};
    }
    return {disk};
}

TComputerFolder::TComputerFolder() : TShellFolder(IDMakeVirtual(TShVirtualFolder::Computer)) {}

bool TComputerFolder::driveOf(PCItemIDList item, TDrive& drive) {
    if (IDItemKind(item) != static_cast<std::uint8_t>(TShItemKind::Drive))
        return false;
    const std::string mountPoint(IDItemPayload(item));
    if (mountPoint.empty() || mountPoint[0] != '/' || mountPoint.find('\0') != std::string::npos)
        return false;
    if (FindShownDrive(mountPoint, drive))
        return true;
    // Unmounted since the ID was made: still a folder, no longer a medium.
    if (!IsDirectory(mountPoint))
        return false;
    drive = TDrive{mountPoint, {}, TDriveKind::Fixed, false, {}};
    return true;
}

bool TComputerFolder::enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) {
    sortEntries_.clear();
    if (!(flags & SHCONTF_FOLDERS))
        return true;
    for (const TDrive& d : ShownDrives()) {
        if (PItemIDList id = IDMakeItem(TShItemKind::Drive, d.mountPoint))
            items.emplace_back(id);
    }
    return true;
}

bool TComputerFolder::attributesOf(PCItemIDList item, std::uint32_t& attributes) {
    TDrive d;
    if (!driveOf(item, d))
        return false;
    // Drives always offer to expand: looking inside a slow medium just to
    // draw a button is not worth it.
    std::uint32_t a = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER |
                      SFGAO_CANCOPY | SFGAO_CANLINK;
    if (d.kind == TDriveKind::Removable || d.kind == TDriveKind::CdRom)
        a |= SFGAO_REMOVABLE;
    bool readOnly = d.readOnly;
    if (!readOnly && (attributes & (SFGAO_READONLY | SFGAO_DROPTARGET))) {
        // Never a question to the drive itself: a network drive may not answer.
        struct statx sx;
        readOnly = !ShCachedStat(d.mountPoint, sx) ||
                   !ShWritableByUser(sx.stx_mode, sx.stx_uid, sx.stx_gid);
    }
    a |= readOnly ? SFGAO_READONLY : SFGAO_DROPTARGET;
    attributes &= a;
    return true;
}

bool TComputerFolder::displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) {
    TDrive d;
    if (!driveOf(item, d))
        return false;
    name = (flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER) ? d.mountPoint
                                                                   : ShDriveDisplayName(d);
    return true;
}

PShellFolder TComputerFolder::bindToObject(PCItemIDList item) {
    TDrive d;
    struct statx sx;
    if (!driveOf(item, d) || !ShCachedStat(d.mountPoint, sx) || !S_ISDIR(sx.stx_mode))
        return nullptr;
    PItemIDList abs = TVelShID::IDConcat(AbsoluteID(), item);
    return abs ? std::make_shared<TFsFolder>(abs, d.mountPoint) : nullptr;
}

int TComputerFolder::iconOf(PCItemIDList item, bool) {
    TDrive d;
    return driveOf(item, d) ? iconIndex(ShDriveIcons(d.kind)) : -1;
}

bool TComputerFolder::findDataOf(PCItemIDList item, TShFindData& data) {
    TDrive d;
    if (!driveOf(item, d))
        return false;
    const std::size_t slash = d.mountPoint.rfind('/');
    const std::string name = d.mountPoint == "/" ? d.mountPoint : d.mountPoint.substr(slash + 1);
    return ShFindDataOfMount(d.mountPoint, name, data);
}

bool TComputerFolder::typeNameOf(PCItemIDList item, std::string& name) {
    TDrive d;
    if (!driveOf(item, d))
        return false;
    name = ShDriveTypeName(d.kind);
    return true;
}

TShSortEntry* TComputerFolder::sortEntryOf(PCItemIDList item, int) {
    const std::string_view bytes = IDItemBytes(item);
    if (TShSortEntry* e = sortEntries_.find(bytes))
        return e;
    TDrive d;
    if (!driveOf(item, d))
        return nullptr;
    TShSortEntry& e = sortEntries_.add(bytes);
    e.group = 0;
    e.rank = d.mountPoint == "/" ? 0 : 1; // the root file system first
    e.name = ShDriveDisplayName(d);
    e.tieBreak = std::string(bytes);
    e.type = ShMakeFileType(ShDriveTypeName(d.kind), {});
    fillNameKey(e);
    e.filled = 0x0F;
    return &e;
}

} // namespace kelvora

#include "shell/items/special_folders.h"

#include "shell/items/xdg_dirs.h"

namespace kelvora {

namespace {

constexpr int kNumbers[kShSpecialFolderCount] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x10, 0x11, 0x12,
    0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22};

// The first of the system folders that has the given subfolder.
std::string firstWith(const std::vector<std::string>& dirs, const char* sub) {
    for (const std::string& d : dirs) {
        if (IsDirectory(d + "/" + sub))
            return d + "/" + sub;
    }
    return {};
}

} // namespace

int ShSpecialFolderNumber(TShSpecialFolderID id) {
    return id < kShSpecialFolderCount ? kNumbers[id] : -1;
}

bool ShSpecialFolderPath(TShSpecialFolderID sfid, std::string& path) {
    switch (sfid) {
    case sfidDeskTopFolder:
        path = XdgDesktopPath();
        break;
    case sfidPrograms:
    case sfidStartMenu:
        path = XdgDataHome() + "/applications";
        break;
    case sfidCommonPrograms:
    case sfidCommonStartMenu:
        path = firstWith(XdgDataDirs(), "applications");
        break;
    case sfidStartUp:
        path = XdgConfigHome() + "/autostart";
        break;
    case sfidCommonStartUp:
        path = firstWith(XdgConfigDirs(), "autostart");
        break;
    case sfidFonts:
        path = XdgDataHome() + "/fonts";
        break;
    case sfidTemplates:
        path = XdgUserDir("TEMPLATES");
        break;
    case sfidAppData:
        path = XdgConfigHome();
        break;
    case sfidInterNetCache:
        path = XdgCacheHome();
        break;
    default:
        path.clear();
        break;
    }
    return !path.empty();
}

bool TVelShID::IDSpecialFolder(TShSpecialFolderID sfid, PItemIDList& id) {
    id = nullptr;
    switch (sfid) {
    case sfidDeskTop:
        id = IDMakeEmpty();
        return id != nullptr;
    case sfidPersonal:
        id = IsDirectory(XdgHome()) ? IDMakeVirtual(TShVirtualFolder::Home) : nullptr;
        return id != nullptr;
    case sfidDrives:
        id = IDMakeVirtual(TShVirtualFolder::Computer);
        return id != nullptr;
    case sfidNetWork:
        id = IDMakeVirtual(TShVirtualFolder::Network);
        return id != nullptr;
    case sfidBitBucket:
        id = IDMakeVirtual(TShVirtualFolder::Trash);
        return id != nullptr;
    default:
        break;
    }
    std::string path;
    // Parsing fails for a folder that does not exist, as it should here.
    return ShSpecialFolderPath(sfid, path) && IsDirectory(path) && IDParse(path, id);
}

} // namespace kelvora

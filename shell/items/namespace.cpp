// The class operations of TVelShID that need the namespace.
#include "shell/items/namespace.h"

#include "shell/items/virtual_folders.h"
#include "shell/items/xdg_dirs.h"

#include <sys/stat.h>
#include <vector>

namespace kelvora {

namespace {

void appendName(std::string& path, std::string_view name) {
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
}

// Appends the names of a run of Entry items to path.
bool appendEntries(std::string& path, PCItemIDList id) {
    for (; id && TVelShID::IDCount(id) > 0; id = TVelShID::IDNext(id)) {
        const std::string_view name = IDItemPayload(id);
        if (IDItemKind(id) != static_cast<std::uint8_t>(TShItemKind::Entry) ||
            !TFsFolder::IsValidName(name))
            return false;
        appendName(path, name);
    }
    return true;
}

// "/a/./b//c/../d/" -> {"a", "b", "d"}; false for a relative path.
bool splitAbsolute(const std::string& path, std::vector<std::string>& parts) {
    if (path.empty() || path[0] != '/')
        return false;
    parts.clear();
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return true;
}

} // namespace

int TVelShID::IDCompare(const PShellFolder& folder, PCItemIDList a, PCItemIDList b, int column) {
    int result = 0;
    if (!folder || !a || !b || !folder->CompareIDs(column, a, b, result))
        return cmpFailed;
    // The shell's code is a signed 16-bit number in the low word.
    const auto code = static_cast<std::int16_t>(result & 0xFFFF);
    return code == 0 ? cmpEqual : code > 0 ? cmpAfter : cmpBefore;
}

int TVelShID::IDCompareInDesktop(PCItemIDList a, PCItemIDList b) {
    return IDCompare(ShDesktopFolder(), a, b);
}

bool TVelShID::IDGetPath(PCItemIDList id, std::string& path) {
    path.clear();
    if (!id)
        return false;
    if (IDCount(id) == 0) {
        path = XdgDesktopPath();
        return true;
    }
    std::string p;
    PCItemIDList rest = IDNext(id);
    switch (static_cast<TShItemKind>(IDItemKind(id))) {
    case TShItemKind::Virtual: {
        const std::string_view v = IDItemPayload(id);
        if (v.size() != 1)
            return false;
        if (v[0] == static_cast<char>(TShVirtualFolder::Home)) {
            p = XdgHome();
        } else if (v[0] == static_cast<char>(TShVirtualFolder::Computer) && rest &&
                   IDItemKind(rest) == static_cast<std::uint8_t>(TShItemKind::Drive)) {
            p = std::string(IDItemPayload(rest));
            if (p.empty() || p[0] != '/' || p.find('\0') != std::string::npos)
                return false;
            rest = IDNext(rest);
        } else {
            return false; // the computer itself, the network and the trash have no path
        }
        break;
    }
    case TShItemKind::DesktopEntry: {
        const std::string_view name = IDItemPayload(id);
        if (!TFsFolder::IsValidName(name))
            return false;
        p = XdgDesktopPath();
        appendName(p, name);
        break;
    }
    default:
        return false;
    }
    if (!appendEntries(p, rest))
        return false;
    path = std::move(p);
    return true;
}

bool TVelShID::IDGetDisplayName(const PShellFolder& folder, PCItemIDList id, std::uint32_t flags,
                                std::string& text) {
    text.clear();
    return folder && id && folder->GetDisplayNameOf(id, flags, text);
}

bool TVelShID::IDParse(const std::string& path, PItemIDList& id) {
    id = nullptr;
    for (TShVirtualFolder f :
         {TShVirtualFolder::Computer, TShVirtualFolder::Network, TShVirtualFolder::Trash}) {
        if (path == ShVirtualFolderUri(f)) {
            id = IDMakeVirtual(f);
            return id != nullptr;
        }
    }
    std::vector<std::string> parts;
    if (!splitAbsolute(path, parts))
        return false;
    std::string normal;
    for (const std::string& part : parts) {
        normal += '/';
        normal += part;
    }
    if (normal.empty())
        normal.push_back('/');
    struct stat st;
    if (::lstat(normal.c_str(), &st) != 0)
        return false;
    // The deepest shown drive that holds the path.
    std::string mount = "/";
    for (const TDrive& d : ShownDrives()) {
        if (d.mountPoint.size() > mount.size() && normal.size() >= d.mountPoint.size() &&
            normal.compare(0, d.mountPoint.size(), d.mountPoint) == 0 &&
            (normal.size() == d.mountPoint.size() || normal[d.mountPoint.size()] == '/'))
            mount = d.mountPoint;
    }
    TIDListPtr computer(IDMakeVirtual(TShVirtualFolder::Computer));
    TIDListPtr drive(IDMakeItem(TShItemKind::Drive, mount));
    TIDListPtr result(computer && drive ? IDConcat(computer.get(), drive.get()) : nullptr);
    std::vector<std::string> driveParts;
    splitAbsolute(mount, driveParts);
    for (std::size_t i = driveParts.size(); result && i < parts.size(); ++i) {
        TIDListPtr item(IDMakeItem(TShItemKind::Entry, parts[i]));
        result.reset(item ? IDConcat(result.get(), item.get()) : nullptr);
    }
    if (!result)
        return false;
    id = result.release();
    return true;
}

int TVelShID::IDSystemIconIndex(PCItemIDList id, bool, bool open) {
    // Small and large lists share their indexes; 0 (a generic file) on failure.
    if (!id)
        return 0;
    const int index = ShDesktopFolder()->GetIconOf(id, open);
    return index < 0 ? 0 : index;
}

bool TVelShID::IsSpecialFolder(PCItemIDList id, TShSpecialFolderID sfid) {
    PItemIDList special = nullptr;
    if (!id || !IDSpecialFolder(sfid, special))
        return false;
    TIDListPtr owner(special);
    return IDCompareInDesktop(id, special) == cmpEqual;
}

bool TVelShID::IsUnderMyComputer(PCItemIDList id) {
    PItemIDList drives = nullptr;
    if (!IDSpecialFolder(sfidDrives, drives))
        return false;
    TIDListPtr owner(drives);
    return IDIsAncestor(drives, id);
}

bool ShGetTypeName(PCItemIDList absoluteID, std::string& typeName) {
    typeName.clear();
    return absoluteID && ShDesktopFolder()->GetTypeNameOf(absoluteID, typeName);
}

} // namespace kelvora

#include "shell/items/shell_item.h"

#include "shell/items/fs_folder.h"
#include "shell/items/namespace.h"
#include "shell/shell_texts.h"
#include "shell/items/xdg_dirs.h"

namespace kelvora {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

TVelShData::TVelShData() = default;

TVelShData::TVelShData(PItemIDList absoluteID, PItemIDList relativeID)
    : relativeID_(relativeID), absoluteID_(absoluteID) {}

TVelShData::TVelShData(PItemIDList absoluteID)
    : relativeID_(IDCopyLast(absoluteID)), absoluteID_(absoluteID) {}

TVelShData::TVelShData(PShellFolder parentFolder, PItemIDList relativeID)
    : relativeID_(relativeID),
      absoluteID_(parentFolder ? IDConcat(parentFolder->AbsoluteID(), relativeID) : nullptr),
      parentFolder_(std::move(parentFolder)) {}

TVelShData::~TVelShData() {
    IDFree(absoluteID_);
    IDFree(relativeID_);
    IDFree(parentID_);
}

int TVelShData::GetLevel() {
    return IDCount(GetAbsoluteID());
}

bool TVelShData::IsValid() {
    return GetAbsoluteID() && relativeID_;
}

PCItemIDList TVelShData::GetParentID() {
    if (!parentID_) {
        const int level = GetLevel();
        if (level == 1)
            IDSpecialFolder(sfidDeskTop, parentID_);
        else if (level > 1)
            parentID_ = IDCopyParent(GetAbsoluteID());
    }
    return parentID_;
}

bool TVelShData::GetParentFolder(PShellFolder& folder) {
    if (!parentFolder_) {
        const int level = GetLevel();
        if (level == 0 || level == 1)
            parentFolder_ = ShDesktopFolder();
        else if (level > 1)
            parentFolder_ = ShDesktopFolder()->BindToObject(GetParentID());
    }
    folder = parentFolder_;
    return folder != nullptr;
}

bool TVelShData::BindFolder(PShellFolder& folder) {
    folder = nullptr;
    const int level = GetLevel();
    if (level == 0) {
        folder = ShDesktopFolder();
    } else if (level > 0) {
        PShellFolder parent;
        if (GetParentFolder(parent))
            folder = parent->BindToObject(relativeID_);
    }
    return folder != nullptr;
}

bool TVelShData::GetDisplayName(std::string& name) {
    if (displayName_.empty()) {
        PShellFolder folder;
        if (GetLevel() == 0)
            IDGetDisplayName(ShDesktopFolder(), GetAbsoluteID(),
                             SHGDN_INFOLDER | SHGDN_FORADDRESSBAR, displayName_);
        else if (GetParentFolder(folder))
            IDGetDisplayName(folder, relativeID_, SHGDN_INFOLDER | SHGDN_FORADDRESSBAR,
                             displayName_);
    }
    name = displayName_;
    return !name.empty();
}

bool TVelShData::GetPath(std::string& path) {
    // The desktop's own path is its relative ID's, the desktop directory.
    return IDGetPath(GetLevel() == 0 ? relativeID_ : GetAbsoluteID(), path);
}

bool TVelShData::HasAttribute(std::uint32_t flag) {
    PShellFolder folder;
    if (!relativeID_ || !GetParentFolder(folder))
        return false;
    std::uint32_t attributes = flag;
    return folder->GetAttributesOf(relativeID_, attributes) && (attributes & flag) == flag;
}

int TVelShData::iconIndex(bool open) {
    PShellFolder folder;
    int index = -1;
    if (relativeID_ && GetParentFolder(folder))
        index = folder->GetIconOf(relativeID_, open);
    return index;
}

int TVelShData::GetImageIndex() {
    if (imageIndex_ < 0)
        imageIndex_ = iconIndex(false);
    // A folder that cannot tell gets the system's answer, not kept: the next
    // call asks the folder again.
    return imageIndex_ >= 0 ? imageIndex_ : IDSystemIconIndex(GetAbsoluteID(), false, false);
}

int TVelShData::GetSelectedIndex() {
    if (!isFolder())
        return GetImageIndex();
    if (selectedIndex_ < 0)
        selectedIndex_ = iconIndex(true);
    return selectedIndex_ >= 0 ? selectedIndex_ : IDSystemIconIndex(GetAbsoluteID(), false, true);
}

int TVelShData::GetOverlayIndex() {
    // No folder here has an overlay handler of its own; nothing is shared.
    return HasAttribute(SFGAO_LINK) ? 1 : -1;
}

bool TVelShData::GetFindData(TShFindData& data) {
    if (findData_.empty()) {
        PShellFolder folder;
        if (GetLevel() == 0) {
            std::string path;
            if (GetPath(path))
                ShFindDataOfPath(path, path.substr(path.rfind('/') + 1), findData_);
        } else if (relativeID_ && GetParentFolder(folder)) {
            folder->GetFindDataOf(relativeID_, findData_);
        }
    }
    data = findData_;
    return !data.empty();
}

TShItemIDType TVelShData::GetItemType() {
    if (itemType_ == itUnknown)
        itemType_ = computeItemType();
    return itemType_;
}

TShItemIDType TVelShData::computeItemType() {
    const int level = GetLevel();
    PCItemIDList abs = GetAbsoluteID();
    if (level < 0)
        return itUnknown;
    if (level == 0)
        return itDeskTop;
    std::string path;
    const auto folderOrFile = [&] {
        return GetPath(path) && IsDirectory(path) ? itFolder : itFile;
    };
    if (level == 1) {
        if (IsSpecialFolder(abs, sfidDrives))
            return itMyComputer;
        if (IsSpecialFolder(abs, sfidNetWork))
            return itNetWork;
        if (IsSpecialFolder(abs, sfidBitBucket))
            return itBitBucket;
        if (IsSpecialFolder(abs, sfidInterNet))
            return itInterNet;
        if (!HasAttribute(SFGAO_FILESYSTEM))
            return itVirtual;
        return HasAttribute(SFGAO_FOLDER) ? folderOrFile() : itFile;
    }
    if (!HasAttribute(SFGAO_FILESYSTEM))
        return IsSpecialFolder(abs, sfidControls) ? itControls : itVirtual;
    if (HasAttribute(SFGAO_FILESYSANCESTOR)) {
        if (!IsUnderMyComputer(abs))
            return itFolder;
        // A drive root is the folder whose path is its drive's mount point.
        TIDListPtr first(IDCopyFirst(abs));
        TIDListPtr second(IDCopyFirst(IDNext(abs)));
        TIDListPtr drive(IDConcat(first.get(), second.get()));
        std::string drivePath;
        if (GetPath(path) && IDGetPath(drive.get(), drivePath) &&
            withoutTrailingSlash(path) == withoutTrailingSlash(drivePath))
            return itRootDrive;
        return itFolder;
    }
    return HasAttribute(SFGAO_FOLDER) ? folderOrFile() : itFile;
}

bool TVelShData::IsOnRemovableMedia() {
    if (HasAttribute(SFGAO_REMOVABLE))
        return true;
    // Below a drive the medium is the drive's: look up to the level-2 ancestor.
    for (TIDListPtr id(IDCopyParent(GetAbsoluteID())); id && IDCount(id.get()) >= 2;
         id.reset(IDCopyParent(id.get()))) {
        TVelShData ancestor(IDClone(id.get()));
        if (ancestor.HasAttribute(SFGAO_REMOVABLE))
            return true;
    }
    return false;
}

bool TVelShData::ResolveLink(PItemIDList& id) {
    id = nullptr;
    PShellFolder folder;
    return HasAttribute(SFGAO_LINK) && GetParentFolder(folder) &&
           folder->ResolveLinkOf(relativeID_, id);
}

bool TVelShData::Execute(TShellOpener& opener) {
    std::string target;
    if (!GetPath(target)) {
        // Virtual folders open by their URI (trash:///); others cannot be opened.
        if (!IDGetDisplayName(ShDesktopFolder(), GetAbsoluteID(), SHGDN_FORPARSING, target) ||
            target.find(":///") == std::string::npos)
            return false;
    }
    return opener.open(target);
}

bool TVelShData::GetTypeName(std::string& name) {
    name.clear();
    PShellFolder folder;
    return relativeID_ && GetParentFolder(folder) && folder->GetTypeNameOf(relativeID_, name);
}

bool TVelShData::RenameInFolder(const std::string& newName, QString* error) {
    PShellFolder folder;
    if (!relativeID_ || GetLevel() < 1 || !GetParentFolder(folder)) {
        if (error)
            *error = VelShCst::Text(VelShCst::SCannotRename);
        return false;
    }
    PItemIDList renamed = nullptr;
    if (!folder->SetNameOf(relativeID_, newName, renamed, error))
        return false;
    if (absoluteID_) {
        // Level 1 items hang below the desktop, whose ID is empty.
        TIDListPtr parent(GetLevel() > 1 ? IDCopyParent(absoluteID_) : IDMakeEmpty());
        PItemIDList absolute = parent ? IDConcat(parent.get(), renamed) : nullptr;
        if (!absolute) {
            IDFree(renamed);
            return false; // out of memory: the item keeps its old, now stale, IDs
        }
        IDFree(absoluteID_);
        absoluteID_ = absolute;
    }
    IDFree(relativeID_);
    relativeID_ = renamed;
    displayName_.clear();
    imageIndex_ = selectedIndex_ = -1;
    findData_ = TShFindData();
    return true;
}

int ShCompareData(TVelShData* a, TVelShData* b, int column) {
    PShellFolder folder;
    int result = 0;
    if (!a || !b || !a->GetRelativeID() || !b->GetRelativeID() || !a->GetParentFolder(folder) ||
        !folder->CompareIDs(column, a->GetRelativeID(), b->GetRelativeID(), result))
        return 0;
    return static_cast<std::int16_t>(result & 0xFFFF);
}

void ShSortDataList(std::vector<TVelShData*>& items, int column, int direction) {
    if (items.size() < 2)
        return;
    PShellFolder folder;
    for (TVelShData* item : items) {
        if (item && item->GetParentFolder(folder))
            break;
    }
    if (!folder)
        return;
    folder->SortItems(
        column, items.begin(), items.end(),
        [](TVelShData* item) { return item ? item->GetRelativeID() : nullptr; }, direction);
}

} // namespace kelvora

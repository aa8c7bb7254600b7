#include "shell/items/root.h"

namespace kelvora {

void TCustomVelShRoot::changed() {
    if (onChange_)
        onChange_();
}

void TCustomVelShRoot::SetRootFolderID(TShSpecialFolderID id) {
    if (rootFolderID_ == id)
        return;
    rootFolderID_ = id;
    if (usesID_)
        changed();
}

void TCustomVelShRoot::SetRootPath(const std::string& path) {
    if (rootPath_ == path)
        return;
    rootPath_ = path;
    if (!usesID_)
        changed();
}

void TCustomVelShRoot::SetUsesID(bool usesID) {
    if (usesID_ == usesID)
        return;
    usesID_ = usesID;
    changed();
}

void TCustomVelShRoot::Assign(const TCustomVelShRoot& source) {
    if (&source == this)
        return;
    const bool differs = rootFolderID_ != source.rootFolderID_ || rootPath_ != source.rootPath_ ||
                         usesID_ != source.usesID_;
    rootFolderID_ = source.rootFolderID_;
    rootPath_ = source.rootPath_;
    usesID_ = source.usesID_;
    if (differs)
        changed();
}

std::unique_ptr<TVelShData> ShCreateRootItem(const TCustomVelShRoot& root) {
    PItemIDList id = nullptr;
    if (root.UsesID() && root.RootFolderID() == sfidDeskTop) {
        PItemIDList desktopFolder = nullptr;
        if (!TVelShID::IDSpecialFolder(sfidDeskTopFolder, desktopFolder))
            return nullptr;
        return std::make_unique<TVelShData>(IDMakeEmpty(), desktopFolder);
    }
    const bool ok = root.UsesID() ? TVelShID::IDSpecialFolder(root.RootFolderID(), id)
                                  : TVelShID::IDParse(root.RootPath(), id);
    return ok ? std::make_unique<TVelShData>(id) : nullptr;
}

} // namespace kelvora

#pragma once
// One item of the shell namespace, with its properties computed on first use and
// cached. No query raises: a failed query answers false, an empty text or -1
// and leaves its cache empty, so that a later call tries again.
#include "base/shell_opener.h"
#include "shell/items/id_list.h"
#include "shell/items/shell_folder.h"

#include <QObject>
#include <string>
#include <vector>

namespace kelvora {

class TVelShData : public TVelShID {
public:
    TVelShData();
    // The item takes over both IDs.
    TVelShData(PItemIDList absoluteID, PItemIDList relativeID);
    // The relative ID becomes the last item of absoluteID.
    explicit TVelShData(PItemIDList absoluteID);
    // An item found by enumerating parentFolder; the item takes over relativeID.
    TVelShData(PShellFolder parentFolder, PItemIDList relativeID);
    ~TVelShData() override;
    TVelShData(const TVelShData&) = delete;
    TVelShData& operator=(const TVelShData&) = delete;

    // A hook that answers 0; nothing overrides it yet.
    virtual int GetReserved() { return 0; }
    virtual bool GetDisplayName(std::string& name);
    virtual int GetImageIndex();
    virtual int GetIndex() { return -1; }
    virtual int GetLevel();
    virtual QObject* GetOwnerControl() { return nullptr; }
    virtual PCItemIDList GetParentID();
    virtual PCItemIDList GetAbsoluteID() { return absoluteID_; }
    virtual int GetSelectedIndex();
    virtual bool IsValid();
    virtual bool Rename(const std::string&) { return false; }

    PCItemIDList GetRelativeID() const { return relativeID_; }

    // What Rename does for items that can be renamed: renames the item in its
    // folder without replacing another item, then takes the new IDs and forgets
    // the cached name, icons and find data. error gets the reason of a refusal.
    bool RenameInFolder(const std::string& newName, QString* error = nullptr);

    bool GetParentFolder(PShellFolder& folder);
    // The item itself as a folder.
    bool BindFolder(PShellFolder& folder);
    bool GetPath(std::string& path);
    TShItemIDType GetItemType();
    // True when every bit of flag (SFGAO_*) holds; false on any failure.
    bool HasAttribute(std::uint32_t flag);
    // 0-based overlay: 0 shared, 1 link, -1 none.
    int GetOverlayIndex();
    bool GetFindData(TShFindData& data);
    bool IsOnRemovableMedia();
    // The absolute ID a link points to; the caller frees it.
    bool ResolveLink(PItemIDList& id);
    // Opens the item with the application the desktop associates with it.
    bool Execute(TShellOpener& opener = DefaultShellOpener());
    // The type as the file list's type column shows it ("JPEG 画像").
    bool GetTypeName(std::string& name);

protected:
    // Whether the parent folder would answer "folder" for this item.
    bool isFolder() { return HasAttribute(SFGAO_FOLDER); }
    void setParentFolder(PShellFolder folder) { parentFolder_ = std::move(folder); }

    PItemIDList relativeID_ = nullptr;
    PItemIDList absoluteID_ = nullptr;
    PItemIDList parentID_ = nullptr;
    PShellFolder parentFolder_;
    int imageIndex_ = -1;
    int selectedIndex_ = -1;
    std::string displayName_;
    TShFindData findData_;
    TShItemIDType itemType_ = itUnknown;

private:
    TShItemIDType computeItemType();
    int iconIndex(bool open);
};

// The order of two items of one folder by column: the signed code of the
// parent folder's compare (negative, 0, positive); 0 on failure or a missing item.
int ShCompareData(TVelShData* a, TVelShData* b, int column = 0);
// Sorts items of one folder by column (direction -1: descending), through the
// first item's parent folder.
void ShSortDataList(std::vector<TVelShData*>& items, int column = 0, int direction = 1);

} // namespace kelvora

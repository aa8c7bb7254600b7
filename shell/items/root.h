#pragma once
// The choice of the folder tree's root: a special folder or a parsed path.
#include "shell/items/shell_item.h"
#include "shell/items/shell_types.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace kelvora {

class TCustomVelShRoot {
public:
    using TChangeEvent = std::function<void()>;

    // owner: the control the root belongs to; onChange is called when the root changes.
    TCustomVelShRoot(QObject* owner, TChangeEvent onChange)
        : owner_(owner), onChange_(std::move(onChange)) {}
    virtual ~TCustomVelShRoot() = default;

    TShSpecialFolderID RootFolderID() const { return rootFolderID_; }
    void SetRootFolderID(TShSpecialFolderID id);
    const std::string& RootPath() const { return rootPath_; }
    void SetRootPath(const std::string& path);
    // True: the root is RootFolderID; false: the folder RootPath parses to.
    bool UsesID() const { return usesID_; }
    void SetUsesID(bool usesID);
    QObject* Owner() const { return owner_; }

    // Copies the three values; one change call when any differed.
    void Assign(const TCustomVelShRoot& source);

private:
    void changed();

    QObject* owner_;
    TChangeEvent onChange_;
    TShSpecialFolderID rootFolderID_ = sfidDeskTop;
    std::string rootPath_;
    bool usesID_ = true;
};

class TVelShRoot : public TCustomVelShRoot {
public:
    using TCustomVelShRoot::TCustomVelShRoot;
};

// The root item: for the desktop the empty ID with the desktop folder's ID as
// relative ID (so that it has a path), else the special folder's or the parsed
// path's item; null when the ID cannot be had.
std::unique_ptr<TVelShData> ShCreateRootItem(const TCustomVelShRoot& root);

} // namespace kelvora

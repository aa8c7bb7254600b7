#pragma once
// Lists of ID lists.
#include "shell/items/id_list.h"

#include <QMimeData>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvora {

// A list of ID lists that, when it owns them, frees an entry's ID list when the
// entry is deleted. Entries are absolute IDs.
class TCustomVelShIDList {
public:
    explicit TCustomVelShIDList(bool ownsIDs = true) : ownsIDs_(ownsIDs) {}
    virtual ~TCustomVelShIDList();
    TCustomVelShIDList(const TCustomVelShIDList&) = delete;
    TCustomVelShIDList& operator=(const TCustomVelShIDList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // Null outside 0..Count-1.
    PItemIDList Items(int index) const;
    // The raw entries; null when the list is empty.
    PItemIDList* List() { return items_.empty() ? nullptr : items_.data(); }
    bool OwnsIDs() const { return ownsIDs_; }
    void SetOwnsIDs(bool owns) { ownsIDs_ = owns; }

    // Adding passes the ID to the list (when it owns its IDs).
    int Add(PItemIDList id);
    void Insert(int index, PItemIDList id);
    void Delete(int index);
    void Clear();
    // The first entry byte-equal to id, or -1.
    int IndexOf(PCItemIDList id) const;

    virtual bool GetPath(int index, std::string& path) const;

protected:
    virtual void Changed() {}

    std::vector<PItemIDList> items_;
    bool ownsIDs_;
};

// A list of items of one parent: entries relative to ParentID (absolute).
class TVelShIDList : public TCustomVelShIDList {
public:
    explicit TVelShIDList(bool ownsIDs = true) : TCustomVelShIDList(ownsIDs) {}
    ~TVelShIDList() override;

    PCItemIDList ParentID() const { return parentID_; }
    // Takes the ID over when the list owns its IDs (the old one is then freed).
    void SetParentID(PItemIDList id);

    // The desktop when the parent has no items, else the parent bound from the desktop.
    bool GetParentFolder(PShellFolder& folder) const;
    // The capabilities (SFGAO_CAPABILITYMASK) all entries share.
    bool GetAttributes(std::uint32_t& attributes) const;
    bool HasAttribute(std::uint32_t flag) const;
    // Paths of the entries under their parent.
    bool GetPath(int index, std::string& path) const override;

    // Drag data of the entries: the ID-list array and the file-drop list.
    QMimeData* CreateDragData() const;

private:
    PItemIDList parentID_ = nullptr;
};

} // namespace kelvora

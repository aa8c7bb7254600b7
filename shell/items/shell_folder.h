#pragma once
// A folder of the shell namespace: enumerates its items and answers for them
// (attributes, names, icons, order). Items are named by relative ID lists; an
// ID of several items is walked down through the folders on the way, and the
// empty ID means the folder itself where the folder can answer for itself.
//
// Folder objects are cheap and short-lived: a caller binds one, asks, and
// drops it. A folder caches what it learns about its items (one lstat each at
// most) for its own lifetime; enumerating again starts the cache afresh.
#include "shell/items/file_types.h"
#include "shell/items/id_list.h"

#include <QCollatorSortKey>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

// What ordering needs of one item. The folder fills the parts a column needs
// once, so that a sort touches the disk at most once per item.
struct TShSortEntry {
    std::uint8_t group = 2; // 0 virtual items and drives, 1 folders, 2 files
    std::uint16_t rank = 0; // order inside group 0
    std::string name;       // display name bytes, collated
    std::string tieBreak;   // the item's own bytes: equal only for the same item
    std::optional<QCollatorSortKey> nameKey;
    std::uint64_t size = 0;  // column 1 (0 for folders)
    std::int64_t mtime = 0;  // column 3
    PShFileType type;        // column 2
    std::uint8_t filled = 0; // bit c: column c's data is in
};

class TShellFolder {
public:
    explicit TShellFolder(PItemIDList absoluteID); // takes ownership
    virtual ~TShellFolder();
    TShellFolder(const TShellFolder&) = delete;
    TShellFolder& operator=(const TShellFolder&) = delete;

    PCItemIDList AbsoluteID() const { return absolute_.get(); }
    // The folder's file-system path; empty for virtual folders.
    virtual std::string Path() const { return {}; }

    // Relative IDs of the items, as SHCONTF_* flags select them. The caller owns them.
    bool EnumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items);
    // SFGAO_* flags: in, the ones asked for; out, those that hold.
    bool GetAttributesOf(PCItemIDList rel, std::uint32_t& attributes);
    // The flags that hold for all of the items.
    bool GetAttributesOf(const std::vector<PCItemIDList>& rels, std::uint32_t& attributes);
    bool GetDisplayNameOf(PCItemIDList rel, std::uint32_t flags, std::string& name);
    // Order by column (0 name, 1 size, 2 type, 3 modified): virtual items first,
    // then folders, then files; names in natural Japanese order; 0 only for the
    // same item. Other columns fail.
    bool CompareIDs(int column, PCItemIDList a, PCItemIDList b, int& result);
    PShellFolder BindToObject(PCItemIDList rel);
    // Index in the system image list; -1 when the folder has none.
    int GetIconOf(PCItemIDList rel, bool open);
    bool GetFindDataOf(PCItemIDList rel, TShFindData& data);
    bool GetTypeNameOf(PCItemIDList rel, std::string& name);
    // The absolute ID a link points to.
    bool ResolveLinkOf(PCItemIDList rel, PItemIDList& target);
    // Renames an item in place, never replacing another item. newRel (the
    // caller's) is the item's relative ID afterwards; error, when given, gets the
    // reason a rename was refused or failed, as the user reads it.
    bool SetNameOf(PCItemIDList rel, const std::string& newName, PItemIDList& newRel,
                   QString* error = nullptr);

    // Sort data of one item of this folder (one-item IDs only), filled for column.
    TShSortEntry* SortEntryOf(PCItemIDList item, int column);
    static int CompareSortEntries(int column, const TShSortEntry& a, const TShSortEntry& b);

    // Sorts [first, last) of items of this folder by column, each item's sort
    // data computed once; relOf(item) gives an item's relative ID. Items the
    // folder cannot answer for go to the end. direction -1 reverses the order.
    template <class It, class RelOf>
    void SortItems(int column, It first, It last, RelOf relOf, int direction = 1);

protected:
    // One item of this folder (an ID of exactly one item).
    virtual bool enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) = 0;
    virtual bool attributesOf(PCItemIDList item, std::uint32_t& attributes) = 0;
    virtual bool displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) = 0;
    virtual PShellFolder bindToObject(PCItemIDList item) = 0;
    virtual int iconOf(PCItemIDList item, bool open) = 0;
    virtual bool findDataOf(PCItemIDList item, TShFindData& data) = 0;
    virtual bool typeNameOf(PCItemIDList item, std::string& name) = 0;
    virtual bool resolveLinkOf(PCItemIDList, PItemIDList&) { return false; }
    // Only folders over the file system can rename; the rest refuse.
    virtual bool setNameOf(PCItemIDList item, const std::string& newName, PItemIDList& newItem,
                           QString& error);
    virtual TShSortEntry* sortEntryOf(PCItemIDList item, int column) = 0;
    // The folder itself (the empty ID); only the desktop answers.
    virtual bool selfAttributes(std::uint32_t&) { return false; }
    virtual bool selfDisplayName(std::uint32_t, std::string&) { return false; }
    virtual int selfIcon(bool) { return -1; }
    virtual bool selfTypeName(std::string&) { return false; }

    // Fills the name key of an entry (shared by all folders).
    static void fillNameKey(TShSortEntry& entry);
    static int iconIndex(const QStringList& names);
    static int iconIndex(const PShFileType& type);

private:
    PShellFolder childFolder(PCItemIDList rel);

    TIDListPtr absolute_;
};

template <class It, class RelOf>
void TShellFolder::SortItems(int column, It first, It last, RelOf relOf, int direction) {
    using Item = typename std::iterator_traits<It>::value_type;
    std::vector<std::pair<TShSortEntry*, Item>> keyed;
    std::vector<Item> failed;
    for (It it = first; it != last; ++it) {
        PCItemIDList rel = relOf(*it);
        TShSortEntry* e = rel && TVelShID::IDCount(rel) == 1 ? SortEntryOf(rel, column) : nullptr;
        if (e)
            keyed.emplace_back(e, std::move(*it));
        else
            failed.push_back(std::move(*it));
    }
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return CompareSortEntries(column, *a.first, *b.first) * direction < 0;
    });
    It out = first;
    for (auto& k : keyed)
        *out++ = std::move(k.second);
    for (auto& f : failed)
        *out++ = std::move(f);
}

} // namespace kelvora

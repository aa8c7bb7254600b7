#pragma once
// The folders of the namespace that are not plain file-system folders: the
// desktop (level 0), the computer with its drives, the network and the trash.
#include "shell/items/fs_folder.h"
#include "shell/items/mounts.h"

#include <map>
#include <memory>

namespace kelvora {

// Sort entries for folders whose items are few: kept by item bytes.
class TSortEntryMap {
public:
    TShSortEntry* find(std::string_view itemBytes);
    TShSortEntry& add(std::string_view itemBytes);
    void clear() { entries_.clear(); }

private:
    std::map<std::string, TShSortEntry, std::less<>> entries_;
};

class TDesktopFolder : public TShellFolder {
public:
    TDesktopFolder();
    std::string Path() const override;

protected:
    bool enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) override;
    bool attributesOf(PCItemIDList item, std::uint32_t& attributes) override;
    bool displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) override;
    PShellFolder bindToObject(PCItemIDList item) override;
    int iconOf(PCItemIDList item, bool open) override;
    bool findDataOf(PCItemIDList item, TShFindData& data) override;
    bool typeNameOf(PCItemIDList item, std::string& name) override;
    bool resolveLinkOf(PCItemIDList item, PItemIDList& target) override;
    bool setNameOf(PCItemIDList item, const std::string& newName, PItemIDList& newItem,
                   QString& error) override;
    TShSortEntry* sortEntryOf(PCItemIDList item, int column) override;
    bool selfAttributes(std::uint32_t& attributes) override;
    bool selfDisplayName(std::uint32_t flags, std::string& name) override;
    int selfIcon(bool open) override;
    bool selfTypeName(std::string& name) override;

private:
    // The desktop directory's entries (items of kind DesktopEntry).
    TFsFolder& directory();
    bool isDesktopEntry(PCItemIDList item) const;
    // The virtual folder an item names, 0 when it names none.
    static int virtualFolder(PCItemIDList item);

    std::unique_ptr<TFsFolder> directory_;
    TSortEntryMap sortEntries_;
};

class TComputerFolder : public TShellFolder {
public:
    TComputerFolder();

protected:
    bool enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) override;
    bool attributesOf(PCItemIDList item, std::uint32_t& attributes) override;
    bool displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) override;
    PShellFolder bindToObject(PCItemIDList item) override;
    int iconOf(PCItemIDList item, bool open) override;
    bool findDataOf(PCItemIDList item, TShFindData& data) override;
    bool typeNameOf(PCItemIDList item, std::string& name) override;
    TShSortEntry* sortEntryOf(PCItemIDList item, int column) override;

private:
    // The drive an item names: a shown drive, or a folder that was one.
    bool driveOf(PCItemIDList item, TDrive& drive);

    TSortEntryMap sortEntries_;
};

class TNetworkFolder : public TShellFolder {
public:
    TNetworkFolder();

protected:
    bool enumObjects(std::uint32_t, std::vector<TIDListPtr>&) override { return true; }
    bool attributesOf(PCItemIDList, std::uint32_t&) override { return false; }
    bool displayNameOf(PCItemIDList, std::uint32_t, std::string&) override { return false; }
    PShellFolder bindToObject(PCItemIDList) override { return nullptr; }
    int iconOf(PCItemIDList, bool) override { return -1; }
    bool findDataOf(PCItemIDList, TShFindData&) override { return false; }
    bool typeNameOf(PCItemIDList, std::string&) override { return false; }
    TShSortEntry* sortEntryOf(PCItemIDList, int) override { return nullptr; }
};

class TTrashFolder : public TShellFolder {
public:
    TTrashFolder();

protected:
    bool enumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) override;
    bool attributesOf(PCItemIDList item, std::uint32_t& attributes) override;
    bool displayNameOf(PCItemIDList item, std::uint32_t flags, std::string& name) override;
    PShellFolder bindToObject(PCItemIDList) override { return nullptr; }
    int iconOf(PCItemIDList item, bool open) override;
    bool findDataOf(PCItemIDList item, TShFindData& data) override;
    bool typeNameOf(PCItemIDList item, std::string& name) override;
    TShSortEntry* sortEntryOf(PCItemIDList item, int column) override;

private:
    // Splits an item into its trash folder and its name in files/.
    static bool parse(PCItemIDList item, std::string& trashDir, std::string& name);
    bool isDir(const std::string& trashDir, const std::string& name) const;

    TSortEntryMap sortEntries_;
};

// Display names and type names of the virtual folders and drives.
std::string ShVirtualFolderName(TShVirtualFolder folder);
std::string ShDriveDisplayName(const std::string& mountPoint);
// A drive's name: its volume label, else the last part of its mount point.
std::string ShDriveDisplayName(const TDrive& drive);
std::string ShDriveTypeName(TDriveKind kind);
QStringList ShDriveIcons(TDriveKind kind);

} // namespace kelvora

// Items of the namespace: their type, names, paths, attributes, icons, find
// data, links and opening, and that a failed query is asked again later.
#include "shell/items/image_list.h"
#include "shell/items/namespace.h"
#include "shell/items/root.h"
#include "shell/items/shell_item.h"
#include "tests/shell/items/namespace_fixture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvora;
using ID = TVelShID;

namespace {

class RecordingOpener : public TShellOpener {
public:
    bool open(const std::string& target) override {
        targets.push_back(target);
        return result;
    }
    std::vector<std::string> targets;
    bool result = true;
};

class ShellItem : public kelvora::test::NamespaceFixture {
protected:
    // An item by path (through the computer) or by ID.
    std::unique_ptr<TVelShData> itemAt(const std::string& path) {
        TIDListPtr id = parse(path);
        return std::make_unique<TVelShData>(id.release());
    }
    static std::unique_ptr<TVelShData> itemOf(PItemIDList absolute) {
        return std::make_unique<TVelShData>(absolute);
    }
    static std::unique_ptr<TVelShData> virtualItem(TShVirtualFolder f) {
        return itemOf(IDMakeVirtual(f));
    }
    std::unique_ptr<TVelShData> homeItem(std::string_view name) {
        TIDListPtr home(IDMakeVirtual(TShVirtualFolder::Home));
        TIDListPtr e(IDMakeItem(TShItemKind::Entry, name));
        return itemOf(ID::IDConcat(home.get(), e.get()));
    }
    static std::unique_ptr<TVelShData> desktopRoot() {
        TVelShRoot root(nullptr, {});
        return ShCreateRootItem(root);
    }
    static std::string iconName(int index) {
        return TShImageList::instance().iconName(index).toStdString();
    }
};

} // namespace

TEST_F(ShellItem, EveryKindOfItemIsClassified) {
    makeDir(desktop() + "/album");
    makeFile(desktop() + "/note.txt");
    makeDir(usbMount() + "/DCIM");
    makeFile(usbMount() + "/DCIM/a.jpg");
    makeDir(home() + "/docs");
    trashFile("old.txt", "/home/user/old.txt");

    EXPECT_EQ(desktopRoot()->GetItemType(), itDeskTop);
    EXPECT_EQ(virtualItem(TShVirtualFolder::Home)->GetItemType(), itFolder);
    EXPECT_EQ(virtualItem(TShVirtualFolder::Computer)->GetItemType(), itMyComputer);
    EXPECT_EQ(virtualItem(TShVirtualFolder::Network)->GetItemType(), itNetWork);
    EXPECT_EQ(virtualItem(TShVirtualFolder::Trash)->GetItemType(), itBitBucket);
    EXPECT_EQ(itemOf(IDMakeItem(TShItemKind::DesktopEntry, "album"))->GetItemType(), itFolder);
    EXPECT_EQ(itemOf(IDMakeItem(TShItemKind::DesktopEntry, "note.txt"))->GetItemType(), itFile);
    EXPECT_EQ(itemAt("/")->GetItemType(), itRootDrive);
    EXPECT_EQ(itemAt(usbMount())->GetItemType(), itRootDrive);
    EXPECT_EQ(itemAt(usbMount() + "/DCIM")->GetItemType(), itFolder);
    EXPECT_EQ(itemAt(usbMount() + "/DCIM/a.jpg")->GetItemType(), itFile);
    EXPECT_EQ(itemAt(home() + "/docs")->GetItemType(), itFolder); // through "/"
    EXPECT_EQ(homeItem("docs")->GetItemType(), itFolder);         // through ホーム
    TIDListPtr trashID(IDMakeVirtual(TShVirtualFolder::Trash));
    TIDListPtr entry(IDMakeItem(TShItemKind::TrashEntry, trash() + '\0' + "old.txt"));
    auto trashed = itemOf(ID::IDConcat(trashID.get(), entry.get()));
    EXPECT_EQ(trashed->GetItemType(), itVirtual);
    std::string path = "unchanged";
    EXPECT_FALSE(trashed->GetPath(path));
    EXPECT_EQ(path, "");
    EXPECT_FALSE(virtualItem(TShVirtualFolder::Network)->GetPath(path));
    EXPECT_FALSE(virtualItem(TShVirtualFolder::Trash)->GetPath(path));
    EXPECT_EQ(TVelShData().GetItemType(), itUnknown);
}

TEST_F(ShellItem, AFolderThatIsNoLongerADirectoryIsAFile) {
    makeDir(desktop() + "/gone");
    PShellFolder desk = ShDesktopFolder();
    std::vector<TIDListPtr> ids;
    ASSERT_TRUE(desk->EnumObjects(SHCONTF_FOLDERS, ids));
    std::unique_ptr<TVelShData> gone;
    for (TIDListPtr& id : ids) {
        if (IDItemPayload(id.get()) == "gone")
            gone = std::make_unique<TVelShData>(desk, id.release());
    }
    ASSERT_TRUE(gone);
    ASSERT_EQ(::rmdir((desktop() + "/gone").c_str()), 0);
    // The folder still says "folder" from its enumeration; the path decides.
    EXPECT_TRUE(gone->HasAttribute(SFGAO_FOLDER));
    EXPECT_EQ(gone->GetItemType(), itFile);
}

TEST_F(ShellItem, LevelsParentsAndValidity) {
    auto root = desktopRoot();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetLevel(), 0);
    EXPECT_EQ(root->GetParentID(), nullptr);
    EXPECT_TRUE(root->IsValid());
    auto homeFolder = virtualItem(TShVirtualFolder::Home);
    EXPECT_EQ(homeFolder->GetLevel(), 1);
    ASSERT_NE(homeFolder->GetParentID(), nullptr);
    EXPECT_EQ(ID::IDCount(homeFolder->GetParentID()), 0); // the desktop
    makeFile(usbMount() + "/x.txt");
    auto deep = itemAt(usbMount() + "/x.txt");
    EXPECT_EQ(deep->GetLevel(), 3);
    EXPECT_EQ(ID::IDCount(deep->GetParentID()), 2);
    EXPECT_TRUE(ID::IDIsAncestor(deep->GetParentID(), deep->GetAbsoluteID()));
    EXPECT_TRUE(ID::IDIsEqual(deep->GetRelativeID(), ID::IDLast(deep->GetAbsoluteID())));
    TVelShData empty;
    EXPECT_FALSE(empty.IsValid());
    EXPECT_EQ(empty.GetLevel(), -1);
    EXPECT_EQ(empty.GetIndex(), -1);
    EXPECT_EQ(empty.GetReserved(), 0);
    std::string name;
    EXPECT_FALSE(empty.GetDisplayName(name));
    EXPECT_FALSE(empty.HasAttribute(SFGAO_FOLDER));
    EXPECT_EQ(empty.GetOwnerControl(), nullptr);
    EXPECT_FALSE(empty.Rename("x"));
}

TEST_F(ShellItem, NamesAndPaths) {
    auto root = desktopRoot();
    std::string name, path;
    EXPECT_TRUE(root->GetDisplayName(name));
    EXPECT_EQ(name, "デスクトップ");
    EXPECT_TRUE(root->GetPath(path));
    EXPECT_EQ(path, desktop());
    auto homeFolder = virtualItem(TShVirtualFolder::Home);
    EXPECT_TRUE(homeFolder->GetDisplayName(name));
    EXPECT_EQ(name, "ホーム");
    EXPECT_TRUE(homeFolder->GetPath(path));
    EXPECT_EQ(path, home());
    auto root2 = itemAt("/");
    EXPECT_TRUE(root2->GetDisplayName(name));
    EXPECT_EQ(name, "ファイルシステム");
    makeFile(home() + "/写真 1.jpg");
    auto file = homeItem("写真 1.jpg");
    EXPECT_TRUE(file->GetDisplayName(name));
    EXPECT_EQ(name, "写真 1.jpg");
    EXPECT_TRUE(file->GetPath(path));
    EXPECT_EQ(path, home() + "/写真 1.jpg");
    EXPECT_TRUE(file->GetTypeName(name));
    EXPECT_EQ(name, "JPEG 画像");
}

TEST_F(ShellItem, AttributesFollowThePermissionBits) {
    const std::string dir = makeDir(home() + "/w");
    makeFile(dir + "/rw.txt");
    makeFile(dir + "/ro.txt");
    ::chmod((dir + "/ro.txt").c_str(), 0444);
    makeDir(dir + "/sub/inner");
    makeDir(dir + "/flat");
    makeFile(dir + "/flat/only-a-file");
    makeDir(dir + "/linked");
    makeLink("../sub", dir + "/linked/to-sub");
    const std::string locked = makeDir(home() + "/locked");
    makeFile(locked + "/f.txt");
    makeDir(locked + "/d");
    ::chmod(locked.c_str(), 0555);

    auto rw = itemAt(dir + "/rw.txt");
    auto ro = itemAt(dir + "/ro.txt");
    EXPECT_FALSE(rw->HasAttribute(SFGAO_READONLY));
    EXPECT_TRUE(ro->HasAttribute(SFGAO_READONLY));
    const std::uint32_t moves = SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;
    EXPECT_TRUE(ro->HasAttribute(moves)); // its folder is writable
    EXPECT_TRUE(rw->HasAttribute(SFGAO_CANCOPY | SFGAO_CANLINK | SFGAO_FILESYSTEM));
    EXPECT_FALSE(rw->HasAttribute(SFGAO_FOLDER));
    EXPECT_FALSE(rw->HasAttribute(SFGAO_DROPTARGET));
    auto inLocked = itemAt(locked + "/f.txt");
    EXPECT_FALSE(inLocked->HasAttribute(SFGAO_CANDELETE));
    EXPECT_FALSE(inLocked->HasAttribute(SFGAO_CANRENAME));
    EXPECT_TRUE(inLocked->HasAttribute(SFGAO_CANCOPY));
    EXPECT_FALSE(itemAt(locked)->HasAttribute(SFGAO_DROPTARGET));
    EXPECT_TRUE(itemAt(locked + "/d")->HasAttribute(SFGAO_DROPTARGET));

    EXPECT_TRUE(itemAt(dir + "/sub")->HasAttribute(SFGAO_HASSUBFOLDER | SFGAO_FOLDER));
    EXPECT_FALSE(itemAt(dir + "/flat")->HasAttribute(SFGAO_HASSUBFOLDER));
    EXPECT_TRUE(itemAt(dir + "/linked")->HasAttribute(SFGAO_HASSUBFOLDER));
    EXPECT_FALSE(itemAt(dir + "/sub/inner")->HasAttribute(SFGAO_HASSUBFOLDER));
    // Asking for several flags needs all of them.
    EXPECT_FALSE(ro->HasAttribute(SFGAO_READONLY | SFGAO_FOLDER));
    ::chmod(locked.c_str(), 0755);
}

TEST_F(ShellItem, RemovableMediaAreJudgedByTheirDrive) {
    makeFile(usbMount() + "/DCIM/100/a.jpg");
    makeFile(dataMount() + "/b.jpg");
    EXPECT_TRUE(itemAt(usbMount() + "/DCIM/100/a.jpg")->IsOnRemovableMedia());
    EXPECT_TRUE(itemAt(usbMount() + "/DCIM")->IsOnRemovableMedia());
    EXPECT_TRUE(itemAt(usbMount())->IsOnRemovableMedia());
    EXPECT_TRUE(itemAt(cdMount())->IsOnRemovableMedia());
    EXPECT_FALSE(itemAt(dataMount() + "/b.jpg")->IsOnRemovableMedia());
    EXPECT_FALSE(itemAt("/")->IsOnRemovableMedia());
    EXPECT_FALSE(virtualItem(TShVirtualFolder::Computer)->IsOnRemovableMedia());
    EXPECT_FALSE(desktopRoot()->IsOnRemovableMedia());
}

TEST_F(ShellItem, IconsOfFilesFoldersDrivesAndVirtualFolders) {
    makeFile(home() + "/a.jpg");
    makeFile(home() + "/b.JPG");
    makeFile(home() + "/c.unknownext");
    makeDir(home() + "/folder");
    makeDir(home() + "/Pictures");
    auto jpg = homeItem("a.jpg");
    const int jpgIcon = jpg->GetImageIndex();
    EXPECT_GT(jpgIcon, 0);
    EXPECT_TRUE(iconName(jpgIcon) == "image-jpeg" || iconName(jpgIcon) == "image-x-generic")
        << iconName(jpgIcon);
    EXPECT_EQ(jpg->GetSelectedIndex(), jpgIcon); // a file looks the same when selected
    EXPECT_EQ(homeItem("b.JPG")->GetImageIndex(), jpgIcon);
    EXPECT_EQ(homeItem("c.unknownext")->GetImageIndex(), 0); // the generic file

    auto folder = homeItem("folder");
    EXPECT_EQ(iconName(folder->GetImageIndex()), "folder");
    EXPECT_EQ(iconName(folder->GetSelectedIndex()), "folder-open");
    const std::string pictures = iconName(homeItem("Pictures")->GetImageIndex());
    EXPECT_TRUE(pictures == "folder-pictures" || pictures == "folder") << pictures;

    EXPECT_EQ(iconName(virtualItem(TShVirtualFolder::Home)->GetImageIndex()), "user-home");
    EXPECT_EQ(iconName(virtualItem(TShVirtualFolder::Computer)->GetImageIndex()), "computer");
    EXPECT_EQ(iconName(virtualItem(TShVirtualFolder::Network)->GetImageIndex()),
              "network-workgroup");
    EXPECT_EQ(iconName(itemAt("/")->GetImageIndex()), "drive-harddisk");
    EXPECT_EQ(iconName(itemAt(usbMount())->GetImageIndex()), "drive-removable-media");
    EXPECT_EQ(iconName(itemAt(cdMount())->GetImageIndex()), "drive-optical");
    // The system's answer by ID agrees with the folder's.
    EXPECT_EQ(ID::IDSystemIconIndex(jpg->GetAbsoluteID(), false, false), jpgIcon);
    EXPECT_EQ(ID::IDSystemIconIndex(jpg->GetAbsoluteID(), true, false), jpgIcon);
    EXPECT_EQ(ID::IDSystemIconIndex(nullptr, false, false), 0);
}

TEST_F(ShellItem, OverlayMarksLinks) {
    makeFile(home() + "/target.txt");
    makeLink("target.txt", home() + "/link.txt");
    EXPECT_EQ(homeItem("link.txt")->GetOverlayIndex(), 1);
    EXPECT_EQ(homeItem("target.txt")->GetOverlayIndex(), -1);
    EXPECT_FALSE(TShImageList::instance().overlay(TShImageList::kOverlayLink).isNull());
}

TEST_F(ShellItem, FindDataIsCachedAndAFailureIsTriedAgain) {
    auto later = homeItem("later.txt");
    TShFindData data;
    EXPECT_FALSE(later->GetFindData(data));
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(later->HasAttribute(SFGAO_FILESYSTEM));
    std::string type;
    EXPECT_FALSE(later->GetTypeName(type));

    makeFile(home() + "/later.txt", std::string(3000, 'x'));
    struct timespec times[2] = {{1000000000, 0}, {981177900, 500}}; // mtime 2001-02-03 05:25 UTC
    ::utimensat(AT_FDCWD, (home() + "/later.txt").c_str(), times, 0);
    ASSERT_TRUE(later->GetFindData(data));
    EXPECT_EQ(data.fileName, "later.txt");
    EXPECT_EQ(data.fileSize(), 3000u);
    EXPECT_EQ(data.lastWriteTime, 981177900LL * 1000000000 + 500);
    EXPECT_EQ(data.lastAccessTime, 1000000000LL * 1000000000);
    EXPECT_FALSE(data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(later->HasAttribute(SFGAO_FILESYSTEM));
    EXPECT_TRUE(later->GetTypeName(type));

    // Once read, the record is kept: the item does not refresh itself.
    ASSERT_EQ(::unlink((home() + "/later.txt").c_str()), 0);
    TShFindData again;
    EXPECT_TRUE(later->GetFindData(again));
    EXPECT_EQ(again.fileSize(), 3000u);

    // Level-1 items: the home folder has find data, the computer none.
    EXPECT_TRUE(virtualItem(TShVirtualFolder::Home)->GetFindData(data));
    EXPECT_TRUE(data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(data.fileName, "user");
    EXPECT_FALSE(virtualItem(TShVirtualFolder::Computer)->GetFindData(data));
}

TEST_F(ShellItem, ResolveLinkGivesTheTargetsID) {
    makeDir(home() + "/Pictures/2024");
    makeLink(home() + "/Pictures/2024", desktop() + "/photos");
    makeLink("nowhere", desktop() + "/dangling");
    auto photos = itemOf(IDMakeItem(TShItemKind::DesktopEntry, "photos"));
    PItemIDList target = nullptr;
    ASSERT_TRUE(photos->ResolveLink(target));
    TIDListPtr owned(target);
    TIDListPtr expected = parse(home() + "/Pictures/2024");
    EXPECT_TRUE(ID::IDIsEqual(target, expected.get()));
    EXPECT_EQ(photos->GetItemType(), itFolder);
    auto dangling = itemOf(IDMakeItem(TShItemKind::DesktopEntry, "dangling"));
    EXPECT_TRUE(dangling->HasAttribute(SFGAO_LINK));
    EXPECT_FALSE(dangling->ResolveLink(target));
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(dangling->GetItemType(), itFile);
    makeFile(home() + "/plain.txt");
    EXPECT_FALSE(homeItem("plain.txt")->ResolveLink(target));
}

TEST_F(ShellItem, ExecuteOpensThePathOrTheVirtualFoldersAddress) {
    makeFile(home() + "/a b.jpg");
    RecordingOpener opener;
    EXPECT_TRUE(homeItem("a b.jpg")->Execute(opener));
    EXPECT_TRUE(virtualItem(TShVirtualFolder::Trash)->Execute(opener));
    EXPECT_TRUE(desktopRoot()->Execute(opener));
    EXPECT_EQ(opener.targets,
              (std::vector<std::string>{home() + "/a b.jpg", "trash:///", desktop()}));
    trashFile("t.txt", "/x/t.txt");
    TIDListPtr trashID(IDMakeVirtual(TShVirtualFolder::Trash));
    TIDListPtr entry(IDMakeItem(TShItemKind::TrashEntry, trash() + '\0' + "t.txt"));
    EXPECT_FALSE(itemOf(ID::IDConcat(trashID.get(), entry.get()))->Execute(opener));
    EXPECT_EQ(opener.targets.size(), 3u);
    opener.result = false; // the opener could not start
    EXPECT_FALSE(homeItem("a b.jpg")->Execute(opener));
}

TEST_F(ShellItem, TheRootChoice) {
    int changes = 0;
    TVelShRoot root(nullptr, [&] { ++changes; });
    EXPECT_EQ(root.RootFolderID(), sfidDeskTop);
    EXPECT_TRUE(root.UsesID());
    root.SetRootFolderID(sfidDrives);
    root.SetRootFolderID(sfidDrives);
    EXPECT_EQ(changes, 1);
    root.SetRootPath(home()); // ignored while the ID is used
    EXPECT_EQ(changes, 1);
    root.SetUsesID(false);
    EXPECT_EQ(changes, 2);
    root.SetRootPath(home() + "/");
    EXPECT_EQ(changes, 3); // compared as text
    TVelShRoot copy(nullptr, {});
    int copyChanges = 0;
    TVelShRoot counted(nullptr, [&] { ++copyChanges; });
    counted.Assign(root);
    counted.Assign(root);
    EXPECT_EQ(copyChanges, 1);
    EXPECT_EQ(counted.RootPath(), home() + "/");
    EXPECT_FALSE(counted.UsesID());
    EXPECT_EQ(counted.RootFolderID(), sfidDrives);

    auto item = ShCreateRootItem(counted);
    ASSERT_TRUE(item);
    std::string path;
    EXPECT_TRUE(item->GetPath(path));
    EXPECT_EQ(path, home());
    counted.SetRootPath(home() + "/missing");
    EXPECT_EQ(ShCreateRootItem(counted), nullptr);
    counted.SetUsesID(true);
    item = ShCreateRootItem(counted);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->GetItemType(), itMyComputer);
    // The desktop root has the desktop folder as its relative ID.
    item = ShCreateRootItem(copy);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->GetLevel(), 0);
    TIDListPtr deskFolder = parse(desktop());
    EXPECT_TRUE(ID::IDIsEqual(item->GetRelativeID(), deskFolder.get()));
}

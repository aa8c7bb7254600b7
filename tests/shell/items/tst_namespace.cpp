// The namespace over a temporary home: its levels, paths, parsing, special
// folders, hidden files, odd names, links and the trash.
#include "base/file_io.h"
#include "shell/items/namespace.h"
#include "shell/items/special_folders.h"
#include "shell/items/trash.h"
#include "shell/items/xdg_dirs.h"
#include "tests/shell/items/namespace_fixture.h"
#include "tests/support/watchdog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvora;
using ID = TVelShID;

namespace {

class Namespace : public kelvora::test::NamespaceFixture {
protected:
    static std::vector<TIDListPtr>
    enumerate(const PShellFolder& folder,
              std::uint32_t flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN) {
        std::vector<TIDListPtr> ids;
        EXPECT_TRUE(folder->EnumObjects(flags, ids));
        return ids;
    }
    static std::vector<std::string> names(const PShellFolder& folder,
                                          const std::vector<TIDListPtr>& ids) {
        std::vector<std::string> out;
        for (const TIDListPtr& id : ids) {
            std::string name;
            EXPECT_TRUE(folder->GetDisplayNameOf(id.get(), SHGDN_INFOLDER, name));
            out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    static std::string pathOf(PCItemIDList id) {
        std::string path;
        return ID::IDGetPath(id, path) ? path : "(none)";
    }
    static std::uint32_t attributes(const PShellFolder& folder, PCItemIDList id,
                                    std::uint32_t mask = 0xFFFFFFFF) {
        std::uint32_t a = mask;
        EXPECT_TRUE(folder->GetAttributesOf(id, a));
        return a;
    }
    static TIDListPtr entry(std::string_view name) {
        return own(IDMakeItem(TShItemKind::Entry, name));
    }
    PShellFolder bind(const std::string& path) {
        TIDListPtr id = parse(path);
        return id ? ShDesktopFolder()->BindToObject(id.get()) : nullptr;
    }
};

} // namespace

TEST_F(Namespace, DesktopHoldsTheVirtualFoldersThenItsOwnEntries) {
    makeFile(desktop() + "/メモ.txt");
    makeDir(desktop() + "/写真");
    PShellFolder desk = ShDesktopFolder();
    EXPECT_EQ(desk->Path(), desktop());
    const auto ids = enumerate(desk);
    ASSERT_EQ(ids.size(), 6u);
    const char* virtualNames[] = {"ホーム", "コンピュータ", "ネットワーク", "ごみ箱"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(IDItemKind(ids[i].get()), 0x1F);
        EXPECT_EQ(IDItemPayload(ids[i].get()), std::string(1, static_cast<char>(i + 1)));
        std::string name;
        EXPECT_TRUE(desk->GetDisplayNameOf(ids[i].get(), SHGDN_INFOLDER, name));
        EXPECT_EQ(name, virtualNames[i]);
    }
    EXPECT_EQ(IDItemKind(ids[4].get()), 0x31);
    EXPECT_EQ(IDItemKind(ids[5].get()), 0x31);
    EXPECT_EQ(names(desk, ids),
              sorted({"ホーム", "コンピュータ", "ネットワーク", "ごみ箱", "メモ.txt", "写真"}));

    // Files only: no virtual folders, no folders.
    const auto files = enumerate(desk, SHCONTF_NONFOLDERS);
    EXPECT_EQ(names(desk, files), std::vector<std::string>{"メモ.txt"});
    // The desktop's own name, and its path for parsing.
    std::string name;
    TIDListPtr empty(IDMakeEmpty());
    EXPECT_TRUE(desk->GetDisplayNameOf(empty.get(), SHGDN_INFOLDER | SHGDN_FORADDRESSBAR, name));
    EXPECT_EQ(name, "デスクトップ");
    EXPECT_TRUE(desk->GetDisplayNameOf(empty.get(), SHGDN_FORPARSING, name));
    EXPECT_EQ(name, desktop());
}

TEST_F(Namespace, MissingDesktopFolderFallsBackToHome) {
    ASSERT_EQ(::rmdir(desktop().c_str()), 0);
    EXPECT_EQ(XdgDesktopPath(), home());
    makeFile(home() + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    makeDir(home() + "/Desktop");
    EXPECT_EQ(XdgDesktopPath(), home() + "/Desktop"); // the default name when the key is missing
}

TEST_F(Namespace, ComputerHoldsTheRootAndTheShownDrives) {
    PShellFolder desk = ShDesktopFolder();
    TIDListPtr computerID(IDMakeVirtual(TShVirtualFolder::Computer));
    PShellFolder computer = desk->BindToObject(computerID.get());
    ASSERT_TRUE(computer);
    const auto ids = enumerate(computer);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(IDItemPayload(ids[0].get()), "/");
    EXPECT_EQ(IDItemPayload(ids[1].get()), usbMount());
    EXPECT_EQ(names(computer, ids), sorted({"USB STICK", "cdrom", "data", "ファイルシステム"}));
    EXPECT_TRUE(attributes(computer, ids[1].get(), SFGAO_REMOVABLE) & SFGAO_REMOVABLE);
    EXPECT_TRUE(attributes(computer, ids[2].get(), SFGAO_REMOVABLE) & SFGAO_REMOVABLE);
    EXPECT_TRUE(attributes(computer, ids[2].get(), SFGAO_READONLY) & SFGAO_READONLY);
    EXPECT_FALSE(attributes(computer, ids[3].get(), SFGAO_REMOVABLE) & SFGAO_REMOVABLE);
    std::string type;
    EXPECT_TRUE(computer->GetTypeNameOf(ids[2].get(), type));
    EXPECT_EQ(type, "CD ドライブ");
    // A drive binds to its mount point.
    PShellFolder usb = computer->BindToObject(ids[1].get());
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->Path(), usbMount());
    EXPECT_EQ(pathOf(computerID.get()), "(none)");
}

TEST_F(Namespace, NetworkIsVirtualAndEmpty) {
    TIDListPtr id(IDMakeVirtual(TShVirtualFolder::Network));
    PShellFolder network = ShDesktopFolder()->BindToObject(id.get());
    ASSERT_TRUE(network);
    EXPECT_TRUE(enumerate(network).empty());
    EXPECT_EQ(pathOf(id.get()), "(none)");
    EXPECT_EQ(network->Path(), "");
    EXPECT_EQ(attributes(ShDesktopFolder(), id.get()) & (SFGAO_FILESYSTEM | SFGAO_FOLDER),
              SFGAO_FOLDER);
}

TEST_F(Namespace, PathsOfEveryKindOfID) {
    TIDListPtr empty(IDMakeEmpty());
    EXPECT_EQ(pathOf(empty.get()), desktop());
    TIDListPtr homeID(IDMakeVirtual(TShVirtualFolder::Home));
    EXPECT_EQ(pathOf(homeID.get()), home());
    TIDListPtr homeFile(ID::IDConcat(homeID.get(), entry("a b.txt").get()));
    EXPECT_EQ(pathOf(homeFile.get()), home() + "/a b.txt");
    TIDListPtr onDesktop(IDMakeItem(TShItemKind::DesktopEntry, "x"));
    TIDListPtr below(ID::IDConcat(onDesktop.get(), entry("y").get()));
    EXPECT_EQ(pathOf(below.get()), desktop() + "/x/y");
    TIDListPtr root = parse("/");
    EXPECT_EQ(ID::IDCount(root.get()), 2);
    EXPECT_EQ(pathOf(root.get()), "/");
    TIDListPtr trashID(IDMakeVirtual(TShVirtualFolder::Trash));
    EXPECT_EQ(pathOf(trashID.get()), "(none)");
    // IDs that name nothing: a plain entry at the top, a name with a slash, "..".
    EXPECT_EQ(pathOf(entry("x").get()), "(none)");
    EXPECT_EQ(pathOf(TIDListPtr(ID::IDConcat(homeID.get(), entry("a/b").get())).get()), "(none)");
    EXPECT_EQ(pathOf(TIDListPtr(ID::IDConcat(homeID.get(), entry("..").get())).get()), "(none)");
    EXPECT_EQ(pathOf(nullptr), "(none)");
}

TEST_F(Namespace, ParseTakesTheDeepestDriveAndNormalises) {
    makeFile(usbMount() + "/DCIM/img.jpg");
    TIDListPtr id = parse(usbMount() + "/DCIM/img.jpg");
    ASSERT_EQ(ID::IDCount(id.get()), 4);
    PCItemIDList drive = ID::IDNext(static_cast<PCItemIDList>(id.get()));
    EXPECT_EQ(IDItemKind(drive), 0x2F);
    EXPECT_EQ(IDItemPayload(drive), usbMount());
    EXPECT_EQ(pathOf(id.get()), usbMount() + "/DCIM/img.jpg");
    EXPECT_TRUE(ID::IsUnderMyComputer(id.get()));

    TIDListPtr messy = parse(usbMount() + "//DCIM/./../DCIM/img.jpg/");
    EXPECT_TRUE(ID::IDIsEqual(messy.get(), id.get()));
    // A path below home that no drive holds goes through "/".
    makeDir(home() + "/work");
    TIDListPtr work = parse(home() + "/work");
    EXPECT_EQ(IDItemPayload(ID::IDNext(static_cast<PCItemIDList>(work.get()))), "/");
    EXPECT_EQ(pathOf(work.get()), home() + "/work");

    PItemIDList none = nullptr;
    EXPECT_FALSE(ID::IDParse(home() + "/missing", none));
    EXPECT_FALSE(ID::IDParse("relative/path", none));
    EXPECT_FALSE(ID::IDParse("", none));
    EXPECT_EQ(none, nullptr);
    TIDListPtr trashID = parse("trash:///");
    EXPECT_TRUE(ID::IsSpecialFolder(trashID.get(), sfidBitBucket));
}

TEST_F(Namespace, NamesThatAreNotUtf8SurviveTheRoundTrip) {
    const std::string odd = "\xff\xfe\x81"
                            "abc.jpg"; // not UTF-8
    makeFile(home() + "/" + odd);
    TIDListPtr id = parse(home() + "/" + odd);
    EXPECT_EQ(IDItemPayload(ID::IDLast(static_cast<PCItemIDList>(id.get()))), odd);
    EXPECT_EQ(pathOf(id.get()), home() + "/" + odd);

    TIDListPtr homeID(IDMakeVirtual(TShVirtualFolder::Home));
    PShellFolder homeFolder = ShDesktopFolder()->BindToObject(homeID.get());
    const auto ids = enumerate(homeFolder);
    bool found = false;
    for (const TIDListPtr& e : ids) {
        if (IDItemPayload(e.get()) != odd)
            continue;
        found = true;
        std::string name;
        EXPECT_TRUE(homeFolder->GetDisplayNameOf(e.get(), SHGDN_INFOLDER, name));
        EXPECT_EQ(name, odd);
        TShFindData data;
        EXPECT_TRUE(homeFolder->GetFindDataOf(e.get(), data));
        EXPECT_EQ(data.fileName, odd);
    }
    EXPECT_TRUE(found);
}

TEST_F(Namespace, NamesDifferingOnlyInCaseAreTwoItems) {
    makeFile(home() + "/photo.JPG", "upper");
    makeFile(home() + "/photo.jpg", "lower!");
    TIDListPtr homeID(IDMakeVirtual(TShVirtualFolder::Home));
    PShellFolder folder = ShDesktopFolder()->BindToObject(homeID.get());
    TIDListPtr upper = entry("photo.JPG"), lower = entry("photo.jpg");
    EXPECT_EQ(ID::IDCompare(folder, upper.get(), upper.get()), ID::cmpEqual);
    const int ab = ID::IDCompare(folder, upper.get(), lower.get());
    const int ba = ID::IDCompare(folder, lower.get(), upper.get());
    EXPECT_NE(ab, ID::cmpEqual);
    EXPECT_NE(ab, ID::cmpFailed);
    EXPECT_EQ(ab == ID::cmpAfter, ba == ID::cmpBefore); // antisymmetric
    TShFindData a, b;
    EXPECT_TRUE(folder->GetFindDataOf(upper.get(), a));
    EXPECT_TRUE(folder->GetFindDataOf(lower.get(), b));
    EXPECT_EQ(a.fileSize(), 5u);
    EXPECT_EQ(b.fileSize(), 6u);
}

TEST_F(Namespace, HiddenItemsAreDotFilesAndThoseListedInDotHidden) {
    makeFile(home() + "/.profile");
    makeFile(home() + "/secret.txt");
    makeFile(home() + "/plain.txt");
    makeFile(home() + "/.hidden", "secret.txt\nnot-there\n");
    PShellFolder folder = bind(home());
    ASSERT_TRUE(folder);
    const auto visible = enumerate(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    EXPECT_EQ(names(folder, visible), sorted({"media", "plain.txt", "デスクトップ"}));
    const auto all = enumerate(folder);
    EXPECT_EQ(names(folder, all), sorted({".config", ".hidden", ".local", ".profile", "media",
                                          "plain.txt", "secret.txt", "デスクトップ"}));
    const std::uint32_t hidden = SFGAO_HIDDEN | SFGAO_GHOSTED;
    EXPECT_EQ(attributes(folder, entry("secret.txt").get(), hidden), hidden);
    EXPECT_EQ(attributes(folder, entry(".profile").get(), hidden), hidden);
    EXPECT_EQ(attributes(folder, entry("plain.txt").get(), hidden), 0u);
}

// The small files a folder or the settings hold are read while a folder is listed, on
// the GUI thread: only a regular file (or a link to one) of at most kSmallFileLimit bytes
// counts; a FIFO, a device or a larger file is as if it were not there.
TEST_F(Namespace, SideFilesCountOnlyAsSmallRegularFiles) {
    enum class Kind { Regular, LinkToRegular, AtTheLimit, OverTheLimit, Fifo, LinkToDevZero };
    // linkTarget: where x.desktop leads: "~" (home, by its URL), a path (a symbolic
    // link is a link as such, to its target; relative to the row's folder), or nowhere.
    const struct {
        const char* name;
        Kind kind;
        bool counts;
        const char* linkTarget;
    } rows[] = {
        {"regular", Kind::Regular, true, "~"},
        {"a link to a regular file", Kind::LinkToRegular, true, "x.desktop.target"},
        {"exactly at the limit", Kind::AtTheLimit, true, "~"},
        {"one byte over the limit", Kind::OverTheLimit, false, nullptr},
        {"a FIFO", Kind::Fifo, false, nullptr},
        {"a link to /dev/zero", Kind::LinkToDevZero, false, "/dev/zero"},
    };
    // The text at path as the row's kind of file (padded with a comment line to its size).
    const auto place = [](Kind kind, const std::string& path, std::string text) {
        if (kind == Kind::Fifo) {
            test::makeFifoAt(path);
        } else if (kind == Kind::LinkToDevZero) {
            test::makeLinkAt("/dev/zero", path);
        } else if (kind == Kind::LinkToRegular) {
            test::writeFileAt(path + ".target", text);
            test::makeLinkAt(path + ".target", path);
        } else {
            const std::size_t size = kSmallFileLimit + (kind == Kind::OverTheLimit ? 1 : 0);
            if (kind != Kind::Regular) {
                const std::size_t padding = size - text.size() - 2;
                text += '#';
                text.append(padding, 'x');
                text += '\n';
            }
            test::writeFileAt(path, text);
        }
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = makeDir(home() + "/" + row.name);
        makeFile(folder + "/listed.txt");
        place(row.kind, folder + "/.hidden", "listed.txt\n");
        place(row.kind, folder + "/x.desktop",
              "[Desktop Entry]\nType=Link\nURL=file://" + home() + "\n");
        place(row.kind, folder + "/info/t.trashinfo",
              "[Trash Info]\nPath=/a/b.txt\nDeletionDate=2020-01-02T03:04:05\n");
        place(row.kind, folder + "/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/music\"\n");

        const test::Watchdog guard(std::string("side files: ") + row.name);
        PShellFolder f = bind(folder);
        ASSERT_TRUE(f);
        EXPECT_EQ(attributes(f, entry("listed.txt").get(), SFGAO_HIDDEN) != 0, row.counts);
        const std::string linkTarget = !row.linkTarget                           ? "(none)"
                                       : row.linkTarget == std::string_view("~") ? home()
                                       : row.linkTarget[0] == '/'                ? row.linkTarget
                                                                  : folder + "/" + row.linkTarget;
        EXPECT_EQ(attributes(f, entry("x.desktop").get(), SFGAO_LINK) != 0,
                  row.linkTarget != nullptr);
        PItemIDList target = nullptr;
        f->ResolveLinkOf(entry("x.desktop").get(), target);
        const TIDListPtr owned(target);
        EXPECT_EQ(target ? pathOf(target) : "(none)", linkTarget);
        TTrashInfo info;
        EXPECT_EQ(ReadTrashInfo(folder, "t", info), row.counts);
        test::ScopedEnv env;
        env.set("XDG_CONFIG_HOME", folder);
        EXPECT_EQ(XdgUserDir("MUSIC"), row.counts ? home() + "/music" : "");
    }
}

TEST_F(Namespace, LinksBrokenLinksAndLoops) {
    makeDir(home() + "/real");
    makeLink("real", home() + "/to-dir");
    makeLink("nowhere", home() + "/broken");
    makeLink("loop-b", home() + "/loop-a");
    makeLink("loop-a", home() + "/loop-b");
    PShellFolder folder = bind(home());
    ASSERT_TRUE(folder);
    // Folders only: the link to a folder counts as one, the others do not.
    const auto folders = enumerate(folder, SHCONTF_FOLDERS);
    EXPECT_EQ(names(folder, folders), sorted({"media", "real", "to-dir", "デスクトップ"}));
    const auto files = enumerate(folder, SHCONTF_NONFOLDERS);
    EXPECT_EQ(names(folder, files), (std::vector<std::string>{"broken", "loop-a", "loop-b"}));

    const std::uint32_t mask = SFGAO_LINK | SFGAO_FOLDER;
    EXPECT_EQ(attributes(folder, entry("to-dir").get(), mask), mask);
    EXPECT_EQ(attributes(folder, entry("broken").get(), mask), SFGAO_LINK);
    EXPECT_EQ(attributes(folder, entry("loop-a").get(), mask), SFGAO_LINK);
    EXPECT_TRUE(folder->BindToObject(entry("to-dir").get()));
    EXPECT_FALSE(folder->BindToObject(entry("loop-a").get()));

    PItemIDList target = nullptr;
    EXPECT_TRUE(folder->ResolveLinkOf(entry("to-dir").get(), target));
    TIDListPtr owned(target);
    EXPECT_EQ(pathOf(target), home() + "/real");
    EXPECT_FALSE(folder->ResolveLinkOf(entry("broken").get(), target));
    EXPECT_FALSE(folder->ResolveLinkOf(entry("loop-a").get(), target));
    EXPECT_FALSE(folder->ResolveLinkOf(entry("real").get(), target)); // not a link
    EXPECT_EQ(target, nullptr);
    // The broken link and the loop still have find data: their own.
    TShFindData data;
    EXPECT_TRUE(folder->GetFindDataOf(entry("broken").get(), data));
    EXPECT_TRUE(data.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_TRUE(folder->GetFindDataOf(entry("loop-b").get(), data));
    EXPECT_FALSE(folder->GetFindDataOf(entry("vanished").get(), data));
}

TEST_F(Namespace, DesktopLinkFilesAreShortcuts) {
    makeDir(home() + "/Pictures/2024");
    makeFile(desktop() + "/pics.desktop", "[Desktop Entry]\nName=Pictures\nType=Link\nURL=file://" +
                                              home() + "/Pictures/%32024\n");
    makeFile(desktop() + "/web.desktop", "[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
    makeFile(desktop() + "/app.desktop", "[Desktop Entry]\nType=Application\nExec=true\n");
    PShellFolder desk = ShDesktopFolder();
    TIDListPtr pics(IDMakeItem(TShItemKind::DesktopEntry, "pics.desktop"));
    TIDListPtr web(IDMakeItem(TShItemKind::DesktopEntry, "web.desktop"));
    TIDListPtr app(IDMakeItem(TShItemKind::DesktopEntry, "app.desktop"));
    EXPECT_TRUE(attributes(desk, pics.get(), SFGAO_LINK) & SFGAO_LINK);
    EXPECT_TRUE(attributes(desk, web.get(), SFGAO_LINK) & SFGAO_LINK);
    EXPECT_FALSE(attributes(desk, app.get(), SFGAO_LINK) & SFGAO_LINK);
    PItemIDList target = nullptr;
    ASSERT_TRUE(desk->ResolveLinkOf(pics.get(), target));
    TIDListPtr owned(target);
    EXPECT_EQ(pathOf(target), home() + "/Pictures/2024"); // %32 decoded
    EXPECT_FALSE(desk->ResolveLinkOf(web.get(), target)); // a web address names no item
}

TEST_F(Namespace, SpecialFoldersMapToTheXdgFolders) {
    const auto check = [&](TShSpecialFolderID sfid, const std::string& path) {
        PItemIDList id = nullptr;
        EXPECT_TRUE(ID::IDSpecialFolder(sfid, id)) << int(sfid);
        TIDListPtr owned(id);
        EXPECT_EQ(pathOf(id), path) << int(sfid);
    };
    const auto fails = [&](TShSpecialFolderID sfid) {
        PItemIDList id = nullptr;
        EXPECT_FALSE(ID::IDSpecialFolder(sfid, id)) << int(sfid);
        EXPECT_EQ(id, nullptr);
    };
    check(sfidDeskTop, desktop());
    check(sfidDeskTopFolder, desktop());
    check(sfidPersonal, home());
    check(sfidAppData, home() + "/.config");
    // Folders that do not exist (yet) fail like a missing special folder.
    fails(sfidTemplates);
    fails(sfidFonts);
    fails(sfidStartUp);
    makeDir(home() + "/テンプレート");
    makeDir(home() + "/.local/share/fonts");
    makeDir(home() + "/.config/autostart");
    makeDir(home() + "/.local/share/applications");
    makeDir(root_.file("usr/share/applications"));
    makeDir(home() + "/.cache");
    check(sfidTemplates, home() + "/テンプレート");
    check(sfidFonts, home() + "/.local/share/fonts");
    check(sfidStartUp, home() + "/.config/autostart");
    check(sfidPrograms, home() + "/.local/share/applications");
    check(sfidStartMenu, home() + "/.local/share/applications");
    check(sfidCommonPrograms, root_.file("usr/share/applications"));
    check(sfidInterNetCache, home() + "/.cache");
    for (TShSpecialFolderID sfid :
         {sfidInterNet, sfidControls, sfidPrinters, sfidFavorites, sfidRecent, sfidSendTo,
          sfidNetHood, sfidCommonDeskTopFolder, sfidPrintHood, sfidAltStartUp, sfidCommonAltStartUp,
          sfidCommonFavorites, sfidCookies, sfidHistory})
        fails(sfid);
    // The virtual ones have no path but are items.
    for (TShSpecialFolderID sfid : {sfidDrives, sfidNetWork, sfidBitBucket}) {
        PItemIDList id = nullptr;
        EXPECT_TRUE(ID::IDSpecialFolder(sfid, id));
        TIDListPtr owned(id);
        EXPECT_EQ(ID::IDCount(id), 1);
        EXPECT_EQ(pathOf(id), "(none)");
    }
}

TEST_F(Namespace, SpecialFolderOrdinalsAndNumbers) {
    EXPECT_EQ(kShSpecialFolderCount, 30);
    EXPECT_EQ(int(sfidBitBucket), 10);
    EXPECT_EQ(int(sfidStartMenu), 11);
    EXPECT_EQ(int(sfidCommonStartMenu), 18);
    EXPECT_EQ(int(sfidAppData), 22);
    EXPECT_EQ(ShSpecialFolderNumber(sfidDeskTop), 0x00);
    EXPECT_EQ(ShSpecialFolderNumber(sfidStartMenu), 0x0B);
    EXPECT_EQ(ShSpecialFolderNumber(sfidDeskTopFolder), 0x10);
    EXPECT_EQ(ShSpecialFolderNumber(sfidPrintHood), 0x1B);
    EXPECT_EQ(ShSpecialFolderNumber(sfidAltStartUp), 0x1D); // 0x1C is skipped
    EXPECT_EQ(ShSpecialFolderNumber(sfidHistory), 0x22);
}

TEST_F(Namespace, IsSpecialFolderMeansTheSameItem) {
    TIDListPtr desk = parse(desktop());
    EXPECT_TRUE(ID::IsSpecialFolder(desk.get(), sfidDeskTopFolder));
    makeDir(home() + "/other");
    TIDListPtr other = parse(home() + "/other");
    EXPECT_FALSE(ID::IsSpecialFolder(other.get(), sfidDeskTopFolder));
    TIDListPtr computer(IDMakeVirtual(TShVirtualFolder::Computer));
    EXPECT_TRUE(ID::IsSpecialFolder(computer.get(), sfidDrives));
    EXPECT_FALSE(ID::IsSpecialFolder(computer.get(), sfidNetWork));
    EXPECT_FALSE(ID::IsSpecialFolder(computer.get(), sfidControls)); // has no location
    EXPECT_FALSE(ID::IsSpecialFolder(nullptr, sfidDrives));
    EXPECT_TRUE(ID::IsUnderMyComputer(desk.get()));
    EXPECT_FALSE(ID::IsUnderMyComputer(computer.get()));
    TIDListPtr homeID(IDMakeVirtual(TShVirtualFolder::Home));
    EXPECT_FALSE(ID::IsUnderMyComputer(homeID.get()));
}

TEST_F(Namespace, TrashShowsOriginalNamesAndHasNoPaths) {
    TIDListPtr trashID(IDMakeVirtual(TShVirtualFolder::Trash));
    PShellFolder desk = ShDesktopFolder();
    const int emptyIcon = desk->GetIconOf(trashID.get(), false);
    PShellFolder trashFolder = desk->BindToObject(trashID.get());
    ASSERT_TRUE(trashFolder);
    EXPECT_TRUE(enumerate(trashFolder).empty());

    trashFile("report.2.pdf", "/home/user/docs/report.pdf");
    trashFile("photo.jpg", "%E5%86%99%E7%9C%9F/%E6%B5%B7.jpg"); // relative, percent-encoded
    trashFile(".bashrc", "/home/user/.bashrc");
    // A trash at the top of the USB stick counts too.
    makeFile(usbMount() + "/.Trash-" + std::to_string(getuid()) + "/files/song.mp3", "x");
    EXPECT_NE(desk->GetIconOf(trashID.get(), false), emptyIcon); // now the full bin

    trashFolder = desk->BindToObject(trashID.get());
    const auto visible = enumerate(trashFolder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    EXPECT_EQ(names(trashFolder, visible), sorted({"report.pdf", "song.mp3", "海.jpg"}));
    EXPECT_EQ(enumerate(trashFolder).size(), 4u);
    EXPECT_TRUE(enumerate(trashFolder, SHCONTF_FOLDERS).empty());
    for (const TIDListPtr& e : visible) {
        TIDListPtr abs(ID::IDConcat(trashID.get(), e.get()));
        EXPECT_EQ(pathOf(abs.get()), "(none)");
        EXPECT_FALSE(attributes(trashFolder, e.get()) & SFGAO_FILESYSTEM);
        std::string type;
        EXPECT_TRUE(trashFolder->GetTypeNameOf(e.get(), type));
    }
    std::string type;
    std::string payload = trash() + '\0' + "report.2.pdf";
    TIDListPtr report(IDMakeItem(TShItemKind::TrashEntry, payload));
    EXPECT_TRUE(trashFolder->GetTypeNameOf(report.get(), type));
    EXPECT_EQ(type, "PDF ドキュメント"); // by the original name
    // A trash entry pointing outside files/ is refused.
    TIDListPtr escape(IDMakeItem(TShItemKind::TrashEntry, trash() + '\0' + "../info"));
    std::uint32_t a = SFGAO_CANDELETE;
    EXPECT_FALSE(trashFolder->GetAttributesOf(escape.get(), a));
}

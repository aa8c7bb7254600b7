// Renaming items in their folders: never over another item, never to a name
// that is no name, and the item's IDs follow the rename.
#include "shell/items/namespace.h"
#include "shell/items/shell_item.h"
#include "shell/shell_texts.h"
#include "tests/shell/items/namespace_fixture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class Rename : public kelvora::test::NamespaceFixture {};

struct RenameCase {
    const char* name;
    std::string newName;
    bool ok;
    const char* error; // expected text when refused
};

class RenameNames : public Rename, public ::testing::WithParamInterface<RenameCase> {};

void PrintTo(const RenameCase& row, std::ostream* out) {
    *out << row.name;
}

} // namespace

TEST_P(RenameNames, RefusesWhatIsNoNameAndNeverReplaces) {
    const RenameCase& row = GetParam();
    const std::string folder = makeDir(home() + "/pics");
    makeFile(folder + "/a.jpg", "old");
    makeFile(folder + "/taken.jpg", "other");
    TVelShData item(parse(folder + "/a.jpg").release());
    QString error;
    EXPECT_EQ(item.RenameInFolder(row.newName, &error), row.ok);
    if (row.ok) {
        std::string path;
        ASSERT_TRUE(item.GetPath(path));
        EXPECT_EQ(path, folder + "/" + row.newName);
        EXPECT_EQ(kelvora::test::readFile(path), "old");
        std::string name;
        EXPECT_TRUE(item.GetDisplayName(name));
        EXPECT_EQ(name, row.newName);
        EXPECT_EQ(TVelShID::IDCount(item.GetAbsoluteID()), TVelShID::IDCount(parse(path).get()));
        EXPECT_TRUE(TVelShID::IDIsEqual(item.GetAbsoluteID(), parse(path).get()));
    } else {
        EXPECT_EQ(error, QString::fromUtf8(row.error));
        EXPECT_EQ(kelvora::test::readFile(folder + "/a.jpg"), "old");
    }
    EXPECT_EQ(kelvora::test::readFile(folder + "/taken.jpg"), "other");
}

INSTANTIATE_TEST_SUITE_P(
    Names, RenameNames,
    ::testing::Values(RenameCase{"Plain", "b.jpg", true, ""},
                      RenameCase{"Japanese", "写真 1.jpg", true, ""},
                      RenameCase{"NotUtf8", "\x8E\xCA\x90\x5E.jpg", true, ""}, // Shift-JIS 写真
                      RenameCase{"CaseOnly", "A.JPG", true, ""},
                      RenameCase{"Unchanged", "a.jpg", true, ""},
                      RenameCase{"Taken", "taken.jpg", false, VelShCst::SNameExists},
                      RenameCase{"Empty", "", false, VelShCst::SEmptyName},
                      RenameCase{"Slash", "sub/b.jpg", false, VelShCst::SBadName},
                      RenameCase{"DotDot", "..", false, VelShCst::SBadName}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Rename, FoldersDesktopEntriesAndWhatCannotBeRenamed) {
    // A folder keeps its contents; its new ID binds.
    makeFile(home() + "/old/inner.txt", "x");
    TVelShData folder(parse(home() + "/old").release());
    ASSERT_TRUE(folder.RenameInFolder("new"));
    PShellFolder bound;
    ASSERT_TRUE(folder.BindFolder(bound));
    EXPECT_EQ(bound->Path(), home() + "/new");
    EXPECT_TRUE(kelvora::test::fileExists(home() + "/new/inner.txt"));

    // A desktop entry (level 1) stays a desktop entry.
    makeFile(desktop() + "/memo.txt", "m");
    std::vector<TIDListPtr> items;
    ShDesktopFolder()->EnumObjects(SHCONTF_NONFOLDERS, items);
    ASSERT_EQ(items.size(), 1u);
    PItemIDList absolute = TVelShID::IDClone(items[0].get());
    TVelShData entry(absolute, items[0].release());
    ASSERT_TRUE(entry.RenameInFolder("メモ.txt"));
    EXPECT_EQ(TVelShID::IDCount(entry.GetAbsoluteID()), 1);
    std::string path;
    ASSERT_TRUE(entry.GetPath(path));
    EXPECT_EQ(path, desktop() + "/メモ.txt");

    // Virtual folders and drives refuse, saying so.
    PItemIDList computer = nullptr;
    ASSERT_TRUE(TVelShID::IDSpecialFolder(sfidDrives, computer));
    TVelShData virtualItem(computer);
    QString error;
    EXPECT_FALSE(virtualItem.RenameInFolder("x", &error));
    EXPECT_EQ(error, QString::fromUtf8(VelShCst::SCannotRename));
    TVelShData drive(parse(usbMount()).release());
    EXPECT_FALSE(drive.RenameInFolder("x"));
    EXPECT_TRUE(kelvora::test::fileExists(usbMount()));
}

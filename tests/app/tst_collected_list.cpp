// The main window's collected list and its following of the file list's selection,
// without a window.
#include "app/collected_list.h"
#include "tests/support/codepage_guard.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::CodePageGuard;

namespace {

std::vector<std::string> shown(const TCollectedList& list) {
    std::vector<std::string> texts;
    for (int row = 0; row < list.rowCount(); ++row)
        texts.push_back(list.index(row).data().toString().toStdString());
    return texts;
}

} // namespace

TEST(CollectedList, KeepsTheOrderAndEveryPathOnceByItsBytes) {
    CodePageGuard guard(CodePage::Kind::Utf8);
    TCollectedList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    // "a\xFF" and "a\xFE" decode alike as UTF-8 but are two files; "" is an item without a
    // file-system path, which can be listed once like any other path.
    for (const std::string path :
         {"/p/b.jpg", "/p/a.jpg", "/p/b.jpg", "/p/a\xFF", "/p/a\xFE", "", "", "/p/写真.jpg"})
        list.Add(path);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"/p/b.jpg", "/p/a.jpg", "/p/a\xFF",
                                                        "/p/a\xFE", "", "/p/写真.jpg"}));
    EXPECT_EQ(shown(list), (std::vector<std::string>{"/p/b.jpg", "/p/a.jpg", "/p/a\\xFF",
                                                     "/p/a\\xFE", "", "/p/写真.jpg"}));
    EXPECT_EQ(list.index(2).data(TCollectedList::PathRole).toByteArray(), QByteArray("/p/a\xFF"));
    EXPECT_EQ(list.IndexOf("/p/a\xFE"), 3);
    EXPECT_EQ(list.IndexOf("/p/A.jpg"), -1);

    list.Delete(1);
    list.Delete(-1);
    list.Delete(5);
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"/p/b.jpg", "/p/a\xFF", "/p/a\xFE", "", "/p/写真.jpg"}));
    EXPECT_TRUE(list.Add("/p/a.jpg")); // deleted, so it can come back, at the end
    EXPECT_EQ(list.IndexOf("/p/a.jpg"), 5);
}

TEST(CollectedList, ShowsShiftJisNames) {
    CodePageGuard guard(CodePage::Kind::Cp932);
    TCollectedList list;
    list.Add("/p/\x8E\xCA\x90\x5E.jpg"); // 写真 in CP932; 真's trail byte is "^"
    list.Add("/p/\x8E\xCA\x90\x5E.JPG");
    EXPECT_EQ(shown(list), (std::vector<std::string>{"/p/写真.jpg", "/p/写真.JPG"}));
}

TEST(FileSelection, FollowsTheFocusedRowAndAllowsWhatIsNotListed) {
    TCollectedList list;
    list.Add("/p/listed.jpg");
    list.Add("");
    TFileSelection selection(list);
    EXPECT_EQ(selection.SelectedPath(), "");
    struct Step {
        std::optional<std::string> focused;
        bool canAdd;
        std::string selectedPath;
    };
    const Step steps[] = {
        {std::nullopt, false, ""}, // no rows or no focused row: nothing to add
        {"/p/new.jpg", true, "/p/new.jpg"},
        {std::nullopt, false, "/p/new.jpg"}, // the path is kept
        {"/p/listed.jpg", false, "/p/listed.jpg"},
        {"/p/LISTED.jpg", true, "/p/LISTED.jpg"}, // byte for byte
        {"/p/folder", true, "/p/folder"},
        {"", false, ""}, // the empty path is listed already
    };
    for (const Step& step : steps) {
        EXPECT_EQ(selection.Changed(step.focused), step.canAdd) << step.selectedPath;
        EXPECT_EQ(selection.SelectedPath(), step.selectedPath);
    }
}

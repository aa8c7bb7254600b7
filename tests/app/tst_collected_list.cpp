// The main window's collected list and its following of the file list's selection,
// without a window.
#include "app/collected_list.h"
#include "app/picture_collector.h"
#include "app/session_state.h"
#include "app/startup.h"
#include "tests/support/codepage_guard.h"
#include "tests/support/temp_dir.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QMimeData>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace kelvora;
using kelvora::test::CodePageGuard;
using kelvora::test::TempDir;

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

// Every reordering keeps the entries, puts them where asked, and the selection follows
// its entries.
TEST(CollectedList, InsertsMovesAndDeletesWithTheSelectionFollowing) {
    using Paths = std::vector<std::string>;
    struct Case {
        const char* what;
        std::function<void(TCollectedList&)> act;
        Paths want; // from a b c d e, with b and d selected
        Paths stillSelected;
    };
    const Case cases[] = {
        {"insert at a row, skipping listed and repeated paths",
         [](TCollectedList& l) {
             EXPECT_EQ(l.Insert({"x", "a", "y", "x"}, 1), 2);
         },
         {"a", "x", "y", "b", "c", "d", "e"},
         {"b", "d"}},
        {"insert past the end appends",
         [](TCollectedList& l) { l.Insert({"x"}, 99); },
         {"a", "b", "c", "d", "e", "x"},
         {"b", "d"}},
        {"move to the top",
         [](TCollectedList& l) {
             EXPECT_EQ(l.MoveRows({3, 1}, 0), 0);
         },
         {"b", "d", "a", "c", "e"},
         {"b", "d"}},
        {"move to the end",
         [](TCollectedList& l) {
             EXPECT_EQ(l.MoveRows({1, 3}, 5), 3);
         },
         {"a", "c", "e", "b", "d"},
         {"b", "d"}},
        {"move before a moved row",
         [](TCollectedList& l) {
             EXPECT_EQ(l.MoveRows({1, 3}, 3), 2);
         },
         {"a", "c", "b", "d", "e"},
         {"b", "d"}},
        {"a step up",
         [](TCollectedList& l) {
             l.MoveStep({1, 3}, -1);
         },
         {"b", "a", "d", "c", "e"},
         {"b", "d"}},
        {"a step down",
         [](TCollectedList& l) {
             l.MoveStep({1, 3}, 1);
         },
         {"a", "c", "b", "e", "d"},
         {"b", "d"}},
        {"blocked at the top, the others close up",
         [](TCollectedList& l) {
             l.MoveStep({0, 1, 3}, -1);
         },
         {"a", "b", "d", "c", "e"},
         {"b", "d"}},
        {"blocked at the bottom",
         [](TCollectedList& l) { l.MoveStep({4}, 1); },
         {"a", "b", "c", "d", "e"},
         {"b", "d"}},
        {"delete several, ignoring bad rows",
         [](TCollectedList& l) {
             l.DeleteRows({3, 1, 1, -1, 9});
         },
         {"a", "c", "e"},
         {}},
    };
    for (const Case& c : cases) {
        TCollectedList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        for (const char* path : {"a", "b", "c", "d", "e"})
            list.Add(path);
        QItemSelectionModel selection(&list);
        selection.select(list.index(1), QItemSelectionModel::Select);
        selection.select(list.index(3), QItemSelectionModel::Select);
        c.act(list);
        EXPECT_EQ(list.Entries(), c.want) << c.what;
        Paths selected;
        for (const QModelIndex& index : selection.selectedIndexes())
            selected.push_back(list.Entry(index.row()));
        std::sort(selected.begin(), selected.end());
        EXPECT_EQ(selected, c.stillSelected) << c.what;
    }
}

TEST(CollectedList, DraggedRowsAreReadOnlyFromTheSameList) {
    TCollectedList list, other;
    for (const char* path : {"a", "b", "c"}) {
        list.Add(path);
        other.Add(path);
    }
    const std::unique_ptr<QMimeData> data(list.mimeData({list.index(2), list.index(0)}));
    EXPECT_EQ(list.DraggedRows(data.get()), (std::optional<std::vector<int>>{{2, 0}}));
    EXPECT_EQ(other.DraggedRows(data.get()), std::nullopt);
    EXPECT_FALSE(data->hasUrls()); // nothing another program could move
    QMimeData files;
    files.setData("text/uri-list", "file:///p/a.jpg\r\n");
    EXPECT_EQ(list.DraggedRows(&files), std::nullopt);
}

// A folder of what a photo folder holds: pictures, other files, hidden ones, a
// subfolder, a link, a FIFO named like a picture.
TEST(PictureCollector, AddsThePicturesOfFilesAndFoldersInOrder) {
    registerPictureFormats(32);
    TempDir dir;
    const std::string f = dir.path() + "/photos";
    for (const char* name : {"b.jpg", "B2.JPG", "a.bmp", "memo.txt", ".dot.jpg", "secret.jpg",
                             "sub/inner.jpg", "\xFF.jpg"})
        dir.write(std::string("photos/") + name, "bytes");
    dir.write("photos/.hidden", "secret.jpg\nmemo.txt\n");
    kelvora::test::makeLinkAt(f + "/b.jpg", f + "/link.jpg");
    kelvora::test::makeLinkAt(f + "/sub", f + "/sublink.jpg"); // a folder named like a picture
    kelvora::test::makeFifoAt(f + "/fifo.jpg");
    const std::string single = dir.write("one.jpg", "bytes");
    const std::string text = dir.write("notes.txt", "bytes");

    // Byte order of names: upper case before lower case, \xFF last.
    const std::vector<std::string> inFolder = {f + "/B2.JPG", f + "/a.bmp", f + "/b.jpg",
                                               f + "/link.jpg", f + "/\xFF.jpg"};
    EXPECT_EQ(TPictureCollector::PicturesIn(f), inFolder);
    EXPECT_EQ(TPictureCollector::PicturesIn(dir.file("missing")), std::vector<std::string>());

    TCollectedList list;
    list.Add(f + "/a.bmp");
    const std::vector<std::string> selection = {single, f, text, single, f + "/fifo.jpg"};
    EXPECT_TRUE(TPictureCollector::ExpandsSelection(selection));
    EXPECT_TRUE(TPictureCollector::ExpandsSelection({f}));
    EXPECT_FALSE(TPictureCollector::ExpandsSelection({text}));
    EXPECT_FALSE(TPictureCollector::ExpandsSelection({}));
    EXPECT_EQ(TPictureCollector::PathsToAdd(selection, list),
              (std::vector<std::string>{single, f + "/B2.JPG", f + "/b.jpg", f + "/link.jpg",
                                        f + "/\xFF.jpg"}));
    EXPECT_TRUE(TPictureCollector::WouldAdd(selection, list));
    list.Insert(TPictureCollector::PathsToAdd(selection, list), list.Count());
    EXPECT_FALSE(TPictureCollector::WouldAdd(selection, list));
    EXPECT_FALSE(TPictureCollector::WouldAdd({text, f, dir.file("missing")}, list));
    EXPECT_TRUE(TPictureCollector::WouldAdd({f + "/sub"}, list));
}

TEST(PictureCollector, AHugeFolderIsAssumedToAddWithoutReadingItAll) {
    registerPictureFormats(32);
    TempDir dir;
    // More names than a selection change reads, none of them a picture.
    const std::string big = kelvora::test::makeDirAt(dir.file("big"));
    for (int i = 0; i <= TPictureCollector::kScanLimit; ++i)
        ::close(
            ::open((big + "/n" + std::to_string(i) + ".txt").c_str(), O_CREAT | O_WRONLY, 0644));
    TCollectedList list;
    EXPECT_TRUE(TPictureCollector::WouldAdd({dir.file("big")}, list));
    EXPECT_EQ(TPictureCollector::PathsToAdd({dir.file("big")}, list), std::vector<std::string>());
}

TEST(SessionState, RoundTripsAndIgnoresWhatIsNotItsOwn) {
    TempDir dir;
    const std::string file = dir.file("kelvora-state.ini");
    TSessionState state;
    state.main.folder = "/photos/a\\b\ncr\r\xFF";
    state.main.viewStyle = 3;
    state.main.size = QSize(900, 700);
    state.main.browserSplit = {300, 597};
    state.main.paneSplit = {400, 250};
    state.main.previewSplit = {500, 300};
    TAlbumPageOptions page;
    page.title = "夏\r\n<b>旅行</b>";
    page.backColor = 0x123456;
    page.columns = 7;
    page.frame = true;
    page.frameWidth = 2;
    page.frameColor = 0xFF;
    page.comments = true;
    page.commentsAbove = true;
    state.page = page;
    SaveSessionState(file, state);
    const TSessionState back = LoadSessionState(file);
    EXPECT_EQ(back.main.folder, state.main.folder);
    ASSERT_TRUE(back.page);
    EXPECT_EQ(back.page->title, page.title);
    EXPECT_EQ(FormatSessionState(back), FormatSessionState(state)); // every value

    // What is not a state file gives the start state, or the start value of a key.
    const auto isStart = [](const TSessionState& s) {
        return s.main.folder.empty() && s.main.viewStyle == -1 && !s.main.size.isValid() &&
               s.main.browserSplit.isEmpty() && !s.page;
    };
    EXPECT_TRUE(isStart(LoadSessionState(dir.file("missing.ini"))));
    EXPECT_TRUE(isStart(LoadSessionState(kelvora::test::makeFifoAt(dir.file("fifo.ini")))));
    EXPECT_TRUE(isStart(LoadSessionState(dir.path())));
    EXPECT_TRUE(isStart(LoadSessionState(
        dir.write("huge.ini", "[MainWindow]\r\nViewStyle=1\r\n" + std::string(100000, '#')))));
    const TSessionState garbage = ParseSessionState(
        "[MainWindow]\nFolder=relative/x\nViewStyle=9\nWidth=-5\nHeight=99999999999\n"
        "Splitter1=1,x\nSplitter2=5\nSplitter3=1,2,3,4\n[Page]\nColumns=0\nFrameWidth=10\n"
        "BackColor=0x1000000\nFrame=2\nTitle=ok\n");
    EXPECT_TRUE(garbage.main.folder.empty());
    EXPECT_EQ(garbage.main.viewStyle, -1);
    EXPECT_FALSE(garbage.main.size.isValid());
    EXPECT_TRUE(garbage.main.browserSplit.isEmpty() && garbage.main.paneSplit.isEmpty() &&
                garbage.main.previewSplit.isEmpty());
    ASSERT_TRUE(garbage.page);
    const TAlbumPageOptions start;
    EXPECT_EQ(garbage.page->columns, start.columns);
    EXPECT_EQ(garbage.page->frameWidth, start.frameWidth);
    EXPECT_EQ(garbage.page->backColor, start.backColor);
    EXPECT_EQ(garbage.page->frame, start.frame);
    EXPECT_EQ(garbage.page->title, "ok");
}

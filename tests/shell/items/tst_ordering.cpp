// The order of items by each column: virtual folders first, folders before
// files, names in natural Japanese order, and 0 only for the same item.
#include "shell/items/namespace.h"
#include "shell/items/shell_item.h"
#include "tests/shell/items/namespace_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using namespace kelvora;
using ID = TVelShID;

namespace {

class Ordering : public kelvora::test::NamespaceFixture {
protected:
    void TearDown() override {
        items_.clear();
        folder_.reset();
        NamespaceFixture::TearDown();
    }
    // The items of a folder, sorted by column, as display names.
    std::vector<std::string> sortedNames(const std::string& path, int column, int direction = 1) {
        load(path);
        std::vector<TVelShData*> list;
        for (auto& item : items_)
            list.push_back(item.get());
        ShSortDataList(list, column, direction);
        std::vector<std::string> names;
        for (TVelShData* item : list) {
            std::string name;
            item->GetDisplayName(name);
            names.push_back(name);
        }
        return names;
    }
    void load(const std::string& path) {
        items_.clear();
        TIDListPtr id = path.empty() ? own(IDMakeEmpty()) : parse(path);
        folder_ = ShDesktopFolder()->BindToObject(id.get());
        if (path.empty())
            folder_ = ShDesktopFolder();
        ASSERT_TRUE(folder_);
        std::vector<TIDListPtr> ids;
        ASSERT_TRUE(folder_->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, ids));
        for (TIDListPtr& rel : ids)
            items_.push_back(std::make_unique<TVelShData>(folder_, rel.release()));
    }
    static void setTime(const std::string& path, time_t seconds) {
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    static std::ptrdiff_t at(const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) - v.begin();
    }

    PShellFolder folder_;
    std::vector<std::unique_ptr<TVelShData>> items_;
};

} // namespace

TEST_F(Ordering, NamesInNaturalJapaneseOrderFoldersFirst) {
    const std::string dir = makeDir(home() + "/n");
    for (const char* name : {"写真10.jpg", "写真2.jpg", "写真1.jpg", "b.txt", "A.txt", "a.txt",
                             "あおい.txt", "img9.png", "img10.png", "IMG11.png"})
        makeFile(dir + "/" + name);
    makeDir(dir + "/zz-folder");
    makeDir(dir + "/写真フォルダ");
    const auto names = sortedNames(dir, 0);
    ASSERT_EQ(names.size(), 12u);
    // Folders first, whatever their names.
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 2),
              (std::vector<std::string>{"zz-folder", "写真フォルダ"}));
    EXPECT_LT(at(names, "写真1.jpg"), at(names, "写真2.jpg"));
    EXPECT_LT(at(names, "写真2.jpg"), at(names, "写真10.jpg"));
    EXPECT_LT(at(names, "img9.png"), at(names, "img10.png"));
    EXPECT_LT(at(names, "img10.png"), at(names, "IMG11.png")); // case does not count
    EXPECT_EQ(std::abs(at(names, "a.txt") - at(names, "A.txt")), 1);
    EXPECT_LT(at(names, "A.txt"), at(names, "b.txt"));
    EXPECT_LT(at(names, "b.txt"), at(names, "あおい.txt")); // Latin before kana
    // Descending reverses everything, folders included.
    auto reversed = sortedNames(dir, 0, -1);
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(reversed, names);
}

TEST_F(Ordering, VirtualFoldersComeFirstInTheirOwnOrder) {
    makeDir(desktop() + "/aaa");
    makeFile(desktop() + "/0.txt");
    for (int column = 0; column < 4; ++column) {
        const auto names = sortedNames("", column);
        EXPECT_EQ(names, (std::vector<std::string>{"ホーム", "コンピュータ", "ネットワーク",
                                                   "ごみ箱", "aaa", "0.txt"}))
            << "column " << column;
    }
    // Drives: the root file system first, then by name.
    const auto drives = sortedNames("computer:///", 0);
    EXPECT_EQ(drives, (std::vector<std::string>{"ファイルシステム", "cdrom", "data", "USB STICK"}));
}

TEST_F(Ordering, BySizeTypeAndModified) {
    const std::string dir = makeDir(home() + "/c");
    makeFile(dir + "/big.txt", std::string(300, 'x'));
    makeFile(dir + "/small.jpg", "xx");
    makeFile(dir + "/mid.png", std::string(20, 'x'));
    makeFile(dir + "/same.jpg", std::string(20, 'x'));
    makeDir(dir + "/folder");
    setTime(dir + "/big.txt", 1000);
    setTime(dir + "/small.jpg", 3000);
    setTime(dir + "/mid.png", 2000);
    setTime(dir + "/same.jpg", 2000);
    EXPECT_EQ(sortedNames(dir, 1),
              (std::vector<std::string>{"folder", "small.jpg", "mid.png", "same.jpg", "big.txt"}));
    // "JPEG 画像" < "PNG 画像" < "平文テキストドキュメント"; equal types by name.
    EXPECT_EQ(sortedNames(dir, 2),
              (std::vector<std::string>{"folder", "same.jpg", "small.jpg", "mid.png", "big.txt"}));
    EXPECT_EQ(sortedNames(dir, 3),
              (std::vector<std::string>{"folder", "big.txt", "mid.png", "same.jpg", "small.jpg"}));
    EXPECT_EQ(sortedNames(dir, 3, -1),
              (std::vector<std::string>{"small.jpg", "same.jpg", "mid.png", "big.txt", "folder"}));
}

TEST_F(Ordering, CompareCodesAndFailures) {
    const std::string dir = makeDir(home() + "/k");
    makeFile(dir + "/a.txt");
    makeFile(dir + "/b.txt");
    load(dir);
    TIDListPtr a(IDMakeItem(TShItemKind::Entry, "a.txt"));
    TIDListPtr b(IDMakeItem(TShItemKind::Entry, "b.txt"));
    TIDListPtr missing(IDMakeItem(TShItemKind::Entry, "missing.txt"));
    EXPECT_EQ(ID::IDCompare(folder_, a.get(), b.get()), ID::cmpBefore);
    EXPECT_EQ(ID::IDCompare(folder_, b.get(), a.get()), ID::cmpAfter);
    EXPECT_EQ(ID::IDCompare(folder_, a.get(), a.get()), ID::cmpEqual);
    EXPECT_EQ(ID::IDCompare(folder_, a.get(), nullptr), ID::cmpFailed);
    EXPECT_EQ(ID::IDCompare(nullptr, a.get(), b.get()), ID::cmpFailed);
    EXPECT_EQ(ID::IDCompare(folder_, a.get(), missing.get()), ID::cmpFailed);
    EXPECT_EQ(ID::IDCompare(folder_, a.get(), b.get(), 7), ID::cmpFailed); // no such column
    TVelShData* first = items_[0].get();
    EXPECT_EQ(ShCompareData(first, first), 0);
    EXPECT_EQ(ShCompareData(first, nullptr), 0);
    EXPECT_NE(ShCompareData(items_[0].get(), items_[1].get()), 0);
}

TEST_F(Ordering, AbsoluteIDsCompareThroughTheDesktop) {
    makeFile(home() + "/x/a/deep.txt");
    makeFile(home() + "/x/b.txt");
    TIDListPtr deep = parse(home() + "/x/a/deep.txt");
    TIDListPtr b = parse(home() + "/x/b.txt");
    TIDListPtr a = parse(home() + "/x/a");
    EXPECT_EQ(ID::IDCompareInDesktop(deep.get(), deep.get()), ID::cmpEqual);
    EXPECT_EQ(ID::IDCompareInDesktop(a.get(), deep.get()), ID::cmpBefore); // parent first
    EXPECT_EQ(ID::IDCompareInDesktop(deep.get(), a.get()), ID::cmpAfter);
    // "a" is a folder and "b.txt" a file: folders first, however deep the compare.
    EXPECT_EQ(ID::IDCompareInDesktop(deep.get(), b.get()), ID::cmpBefore);
    TIDListPtr computer(IDMakeVirtual(TShVirtualFolder::Computer));
    EXPECT_EQ(ID::IDCompareInDesktop(computer.get(), deep.get()), ID::cmpBefore);
    TIDListPtr empty(IDMakeEmpty());
    EXPECT_EQ(ID::IDCompareInDesktop(empty.get(), computer.get()), ID::cmpBefore);
}

TEST_F(Ordering, ListSortAgreesWithPairwiseCompareForEveryColumn) {
    const std::string dir = makeDir(home() + "/many");
    for (int i = 0; i < 60; ++i) {
        const std::string name = (i % 3 ? "File" : "file") + std::to_string(i * 7 % 23) +
                                 (i % 2 ? ".jpg" : ".TXT") + std::to_string(i);
        makeFile(dir + "/" + name, std::string(static_cast<std::size_t>(i % 5), 'x'));
        setTime(dir + "/" + name, 1000 + i % 4);
        if (i % 10 == 0)
            makeDir(dir + "/dir" + std::to_string(i));
    }
    for (int column = 0; column < 4; ++column) {
        load(dir);
        std::vector<TVelShData*> list;
        for (auto& item : items_)
            list.push_back(item.get());
        ShSortDataList(list, column);
        for (std::size_t i = 1; i < list.size(); ++i)
            EXPECT_LT(ShCompareData(list[i - 1], list[i], column), 0) << "column " << column;
    }
}

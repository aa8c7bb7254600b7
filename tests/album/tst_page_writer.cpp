#include "album/page_writer.h"
#include "base/errors.h"
#include "tests/support/codepage_guard.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::readFile;
using kelvora::test::TempDir;

namespace {

const std::string kHead = "<head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=UTF-8\"><title></title></head>";

struct Album {
    TStringList sources, large, small;
    explicit Album(int n, const std::string& base = "/site/") {
        for (int i = 0; i < n; ++i) {
            sources.add("/photos/P" + std::to_string(i) + ".jpg");
            large.add(base + "large/L" + std::to_string(i) + ".jpg");
            small.add(base + "Small/S" + std::to_string(i) + ".jpg");
        }
    }
};

std::vector<std::string> lines(const Album& a, const TAlbumPageOptions& o,
                               const TCommentLookup& comments = {}) {
    return BuildAlbumPage("/site/album.html", a.sources, a.large, a.small, o, comments).items();
}

int countOf(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<int>(std::count(v.begin(), v.end(), s));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

std::vector<std::string> cell(int i) {
    return {"<TD>", "<a href=\"large/L" + std::to_string(i) + ".jpg\">",
            "<img src=\"Small/S" + std::to_string(i) + ".jpg\" border=\"0\"></a>", "</TD>"};
}

} // namespace

TEST(ColorToHtml, RedGreenBlueInUpperCaseHex) {
    EXPECT_EQ(ColorToHtml(clWhite), "FFFFFF");
    EXPECT_EQ(ColorToHtml(RGB(10, 128, 255)), "0A80FF");
    EXPECT_EQ(ColorToHtml(RGB(0, 0, 0)), "000000");
    EXPECT_EQ(ColorToHtml(RGB(255, 0, 0)), "FF0000");
}

TEST(AlbumPage, TwoPicturesInThreeColumnsExactly) {
    TAlbumPageOptions o;
    std::vector<std::string> want = {"<HTML>", kHead, "<BODY BGCOLOR=\"#FFFFFF\">",
                                     "<TABLE border=\"1\" cellpadding=\"2\" cellspacing=\"0\">",
                                     "<TR>"};
    for (int i = 0; i < 2; ++i)
        for (const auto& l : cell(i))
            want.push_back(l);
    for (const char* l : {"</TR>", "</TABLE>", "</BODY>", "</HTML>"})
        want.push_back(l);
    EXPECT_EQ(lines(Album(2), o), want);
}

TEST(AlbumPage, RowsOpenAndCloseByColumnCount) {
    TAlbumPageOptions o;
    auto six = lines(Album(6), o); // two full rows, nothing added at the end
    EXPECT_EQ(countOf(six, "<TR>"), 2);
    EXPECT_EQ(countOf(six, "</TR>"), 2);

    auto seven = lines(Album(7), o); // third row holds one cell, closed once
    EXPECT_EQ(countOf(seven, "<TR>"), 3);
    EXPECT_EQ(countOf(seven, "</TR>"), 3);
    const auto last = std::find(seven.rbegin(), seven.rend(), "<TR>");
    EXPECT_EQ(std::vector<std::string>(last.base(), seven.end() - 3),
              (std::vector<std::string>{cell(6)[0], cell(6)[1], cell(6)[2], cell(6)[3], "</TR>"}));

    o.columns = 1;
    auto one = lines(Album(3), o);
    EXPECT_EQ(countOf(one, "<TR>"), 3);
    EXPECT_EQ(countOf(one, "</TR>"), 3);

    auto none = lines(Album(0), o);
    EXPECT_EQ(countOf(none, "<TR>"), 0);
    EXPECT_EQ(countOf(none, "</TR>"), 0);
}

TEST(AlbumPage, CommentsAboveAndBelowWithAndWithoutFrame) {
    TAlbumPageOptions o;
    o.comments = true;
    const TCommentLookup beach = [](const std::string& source) -> std::optional<std::string> {
        if (source == "/photos/P0.jpg")
            return std::string("Beach");
        if (source == "/photos/P1.jpg")
            return std::string("two\r\nlines");
        return std::nullopt; // no item in the comment list
    };
    o.commentsAbove = true;
    auto above = lines(Album(3), o, beach);
    auto td = std::find(above.begin(), above.end(), "<TD>");
    EXPECT_EQ(*(td + 1), "Beach<BR>");
    EXPECT_EQ(countOf(above, "two\r\nlines<BR>"), 1);
    EXPECT_EQ(above.size(), lines(Album(3), TAlbumPageOptions{}).size() + 2);

    o.commentsAbove = false;
    auto below = lines(Album(1), o, beach);
    auto img = std::find(below.begin(), below.end(), cell(0)[2]);
    EXPECT_EQ(*(img + 1), "<BR>Beach");

    o.frame = true;
    o.frameColor = RGB(255, 0, 0);
    auto framed = lines(Album(1), o, beach);
    const std::string frameLine = "<TABLE border=\"5\" cellspacing=\"0\" cellpadding=\"0\" "
                                  "bordercolor=\"#FF0000\"><TR><TD>";
    auto frame = std::find(framed.begin(), framed.end(), frameLine);
    ASSERT_NE(frame, framed.end());
    EXPECT_EQ(*(frame - 1), "<TD>");
    EXPECT_EQ(*(frame + 1), cell(0)[1]);
    EXPECT_EQ(*(frame + 3), "</TD></TR></TABLE>");
    EXPECT_EQ(*(frame + 4), "<BR>Beach");

    // An empty comment still gives its line.
    auto empty =
        lines(Album(1), o, [](const std::string&) { return std::optional<std::string>(""); });
    EXPECT_EQ(countOf(empty, "<BR>"), 1);

    // Comments go by the picture's path: with the pictures in another order (and one
    // picture without a source entry), each comment stays with its picture.
    Album reordered(3);
    reordered.sources = TStringList();
    reordered.sources.add("/photos/P1.jpg");
    reordered.sources.add("/photos/P0.jpg");
    o.frame = false;
    auto moved = lines(reordered, o, beach);
    const auto at = [&](const std::string& line) {
        return std::find(moved.begin(), moved.end(), line) - moved.begin();
    };
    EXPECT_EQ(at("<BR>two\r\nlines"), at(cell(0)[2]) + 1);
    EXPECT_EQ(at("<BR>Beach"), at(cell(1)[2]) + 1);
    EXPECT_EQ(countOf(moved, "<BR>Beach") + countOf(moved, "<BR>two\r\nlines"), 2);
    EXPECT_EQ(moved[at(cell(2)[2]) + 1], "</TD>"); // no source, no comment
}

TEST(AlbumPage, TitleAndColoursGoInUnchanged) {
    TAlbumPageOptions o;
    o.title = "Tom & Jerry <b>2001</b>";
    o.backColor = RGB(0, 0, 255);
    auto page = lines(Album(0), o);
    EXPECT_EQ(page[1], "<head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=UTF-8\"><title>Tom & Jerry <b>2001</b></title></head>");
    EXPECT_EQ(page[2], "<BODY BGCOLOR=\"#0000FF\">");
}

TEST(AlbumPage, ShiftJisPagesDeclareTheirCharset) {
    kelvora::test::CodePageGuard guard(CodePage::Kind::Cp932);
    auto page = lines(Album(0), TAlbumPageOptions{});
    EXPECT_NE(page[1].find("charset=Shift_JIS\""), std::string::npos);
}

TEST(PageRelativeUrl, RelativeAndPercentEncoded) {
    EXPECT_EQ(PageRelativeUrl("/site/", "/site/large/L0.jpg"), "large/L0.jpg");
    EXPECT_EQ(PageRelativeUrl("/site/", "/site/Small/S my \"#1%\".jpg"),
              "Small/S%20my%20%22%231%25%22.jpg");
    EXPECT_EQ(PageRelativeUrl("/site/", "/site/Small/S写.jpg"), "Small/S%E5%86%99.jpg");
    // An empty folder setting doubles the separator; the address stays relative.
    EXPECT_EQ(PageRelativeUrl("/site/", "/site//L0.jpg"), "L0.jpg");
    EXPECT_EQ(PageRelativeUrl("//", "//large/L0.jpg"), "large/L0.jpg");
    EXPECT_EQ(PageRelativeUrl("/site/", "/site/../pics/L0.jpg"), "../pics/L0.jpg");
    EXPECT_EQ(PageRelativeUrl("/site/a/", "/site/b/L0.jpg"), "../b/L0.jpg");
}

TEST(WriteAlbumPage, WritesCrLfLinesAndReplacesTheFileOnlyOnCommit) {
    TempDir dir;
    const std::string page = dir.write("album.html", "old page");
    Album a(1, dir.path() + "/");
    TAlbumPageOptions o;
    o.title = "写真";
    {
        const auto staged = WriteAlbumPage(page, a.sources, a.large, a.small, o, {});
        EXPECT_EQ(readFile(page), "old page"); // written beside it, not over it
    }
    // Dropped without commit (a run that failed later): nothing left of it.
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"album.html"});
    EXPECT_EQ(readFile(page), "old page");

    WriteAlbumPage(page, a.sources, a.large, a.small, o, {})->commit();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"album.html"});
    const std::string text = readFile(page);
    EXPECT_EQ(text.substr(0, 8), "<HTML>\r\n");
    EXPECT_EQ(text.substr(text.size() - 9), "</HTML>\r\n");
    EXPECT_NE(text.find("<title>写真</title>"), std::string::npos);
    EXPECT_NE(text.find("<a href=\"large/L0.jpg\">\r\n"), std::string::npos);
}

TEST(WriteAlbumPage, MissingSmallNameFailsAndLeavesThePage) {
    TempDir dir;
    const std::string page = dir.write("album.html", "old page");
    Album a(2, dir.path() + "/");
    a.small.erase(1);
    try {
        WriteAlbumPage(page, a.sources, a.large, a.small, TAlbumPageOptions{}, {})->commit();
        FAIL() << "no error";
    } catch (const EListError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("リストのインデックスが範囲を超えています (1)"));
    }
    EXPECT_EQ(readFile(page), "old page");
}

TEST(WriteAlbumPage, UncreatablePageReportsItsName) {
    TempDir dir;
    const std::string page = dir.path() + "/missing/album.html";
    Album a(0);
    try {
        WriteAlbumPage(page, a.sources, a.large, a.small, TAlbumPageOptions{}, {})->commit();
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.message().toStdString(),
                  "ファイル " + page + " を作成できません (No such file or directory)");
    }
}

// An album split into pages: names, the navigation line, pages with 1, N and N+1
// pictures, a page name the album does not own, pages a shorter album leaves
// behind, and every page in a real browser.
#include "album/album_pages.h"
#include "album/album_run.h"
#include "app/startup.h"
#include "base/errors.h"
#include "tests/support/browser.h"
#include "tests/support/images.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <QRegularExpression>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class Formats : public ::testing::Environment {
public:
    void SetUp() override { registerPictureFormats(32); }
};
const auto* const formats = ::testing::AddGlobalTestEnvironment(new Formats);

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct PagedAlbum {
    TempDir dir;
    std::string page = dir.file("site/album.html");

    TAlbumJob job(int pictures, int perPage) const {
        TStringList list;
        for (int i = 0; i < pictures; ++i)
            list.add(saveImage(patternImage(40 + i, 30),
                               dir.file("pics/p" + std::to_string(i) + ".bmp"), "bmp"));
        TAlbumJob j = MakeAlbumJob(page, list, dir.file("Option.ini"));
        j.perPage = perPage;
        return j;
    }
    std::string read(const std::string& name) const { return readFile(dir.file("site/" + name)); }
    bool has(const std::string& name) const { return fileExists(dir.file("site/" + name)); }
};

} // namespace

TEST(AlbumPages, CountsAndNames) {
    const struct {
        int pictures, perPage, pages;
    } counts[] = {{0, 0, 1}, {0, 3, 1}, {5, 0, 1}, {1, 3, 1},
                  {3, 3, 1}, {4, 3, 2}, {7, 3, 3}, {9, 1, 9}};
    for (const auto& c : counts)
        EXPECT_EQ(AlbumPageCount(c.pictures, c.perPage), c.pages) << c.pictures << "/" << c.perPage;

    EXPECT_EQ(AlbumPageName("/s/album.html", 0), "/s/album.html");
    EXPECT_EQ(AlbumPageName("/s/album.html", 1), "/s/album_2.html");
    EXPECT_EQ(AlbumPageName("/s/trip.2001.htm", 9), "/s/trip.2001_10.htm");
    EXPECT_EQ(AlbumPageName("/s.d/album", 1), "/s.d/album_2");
}

TEST(AlbumPages, NavigationLinksTheOtherPagesRelatively) {
    const std::string page = "/site/my album.html";
    EXPECT_EQ(AlbumNavigationLine(page, 0, 3),
              "<P>前へ <B>1</B> <a href=\"my%20album_2.html\">2</a> "
              "<a href=\"my%20album_3.html\">3</a> <a href=\"my%20album_2.html\">次へ</a></P>");
    EXPECT_EQ(AlbumNavigationLine(page, 1, 3),
              "<P><a href=\"my%20album.html\">前へ</a> <a href=\"my%20album.html\">1</a> <B>2</B> "
              "<a href=\"my%20album_3.html\">3</a> <a href=\"my%20album_3.html\">次へ</a></P>");
    EXPECT_EQ(AlbumNavigationLine(page, 2, 3),
              "<P><a href=\"my%20album_2.html\">前へ</a> <a href=\"my%20album.html\">1</a> "
              "<a href=\"my%20album_2.html\">2</a> <B>3</B> 次へ</P>");
}

TEST(AlbumPages, OneAndNPicturesMakeTheSinglePageOfOld) {
    for (const int pictures : {1, 3}) {
        PagedAlbum a;
        RunAlbum(a.job(pictures, 0), {});
        const std::string single = a.read("album.html");
        RunAlbum(a.job(pictures, 3), {});
        EXPECT_EQ(a.read("album.html"), single) << pictures;
        EXPECT_FALSE(a.has("album_2.html"));
        EXPECT_EQ(countOf(single, "<img "), pictures);
    }
}

TEST(AlbumPages, NPlusOnePicturesMakeASecondPage) {
    PagedAlbum a;
    TAlbumRunHooks hooks;
    hooks.pageOptions = [] {
        TAlbumPageOptions o;
        o.columns = 2;
        return o;
    };
    RunAlbum(a.job(4, 3), hooks);
    const std::string first = a.read("album.html");
    const std::string second = a.read("album_2.html");
    EXPECT_FALSE(a.has("album_3.html"));
    EXPECT_EQ(countOf(first, "<img "), 3);
    EXPECT_EQ(countOf(second, "<img "), 1);
    // Numbers run on across the pages; rows start afresh on each.
    EXPECT_NE(first.find("<a href=\"large/L2.jpg\">"), std::string::npos);
    EXPECT_NE(second.find("<TR>\r\n<TD>\r\n<a href=\"large/L3.jpg\">"), std::string::npos);
    EXPECT_EQ(countOf(first, "<TR>"), 2);
    EXPECT_EQ(countOf(second, "</TR>"), 1);
    // The navigation line above and below the table, on both pages.
    const std::string nav1 = AlbumNavigationLine(a.page, 0, 2) + "\r\n";
    const std::string nav2 = AlbumNavigationLine(a.page, 1, 2) + "\r\n";
    EXPECT_EQ(countOf(first, nav1), 2);
    EXPECT_EQ(countOf(second, nav2), 2);
    EXPECT_NE(first.find(nav1 + "<TABLE border=\"1\""), std::string::npos);
    EXPECT_NE(first.find("</TABLE>\r\n" + nav1 + "</BODY>"), std::string::npos);
}

TEST(AlbumPages, APageNameTheAlbumDidNotWriteStopsTheRunFirst) {
    PagedAlbum a;
    a.dir.write("site/album_2.html", "the user's own page");
    TAlbumJob job = a.job(2, 1);
    try {
        RunAlbum(job, {});
        FAIL() << "the run went on";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.message().contains(QString::fromStdString(a.dir.file("site/album_2.html"))))
            << e.message().toStdString();
    }
    EXPECT_EQ(a.read("album_2.html"), "the user's own page");
    EXPECT_FALSE(a.has("album.html"));
    EXPECT_FALSE(a.has("large"));

    // The same name written by an earlier run of this album is the album's own.
    job.writtenByEarlierRun = [&](const std::string& path) {
        return path == a.dir.file("site/album_2.html");
    };
    RunAlbum(job, {});
    EXPECT_NE(a.read("album_2.html").find("large/L1.jpg"), std::string::npos);
}

TEST(AlbumPages, FewerPagesSendTheEarlierOnesToTheTrash) {
    PagedAlbum a;
    ScopedEnv env;
    env.set("XDG_DATA_HOME", a.dir.file("data"));
    RunAlbum(a.job(3, 1), {});
    ASSERT_TRUE(a.has("album_3.html"));
    const std::set<std::string> written{a.dir.file("site/album_2.html"),
                                        a.dir.file("site/album_3.html")};
    a.dir.write("site/album_4.html", "the user's own page of that name");

    TAlbumJob job = a.job(1, 1);
    job.writtenByEarlierRun = [&](const std::string& path) { return written.count(path) > 0; };
    RunAlbum(job, {});
    EXPECT_TRUE(a.has("album.html"));
    EXPECT_FALSE(a.has("album_2.html"));
    EXPECT_FALSE(a.has("album_3.html"));
    EXPECT_TRUE(fileExists(a.dir.file("data/Trash/files/album_2.html")));
    EXPECT_TRUE(fileExists(a.dir.file("data/Trash/files/album_3.html")));
    EXPECT_EQ(a.read("album_4.html"), "the user's own page of that name");
}

TEST(AlbumPages, EveryPageLoadsItsPicturesAndEveryLinkResolvesInABrowser) {
    if (!haveChromium())
        GTEST_SKIP() << "Chromium is not installed (scripts/setup.sh --test installs it)";
    PagedAlbum a;
    a.page = a.dir.file("site/写真 集.html"); // names a link must encode
    RunAlbum(a.job(5, 2), {});
    const QRegularExpression links(QStringLiteral("<title>LINKS (.*)</title>"));
    for (int page = 0; page < 3; ++page) {
        const std::string name = AlbumPageName(a.page, page);
        const std::string html = readFile(name);
        const int pictures = page < 2 ? 2 : 1;
        EXPECT_EQ(loadedPictures(name, a.dir.file("profile")),
                  QStringLiteral("LOADED %1 OF %1").arg(pictures));

        // The browser's own reading of every link: each must be a file on disk.
        const std::string probe = a.dir.file("site/links.html");
        std::ofstream(probe, std::ios::binary)
            << html
            << "<script>document.title = 'LINKS ' + Array.from(document.links, l => l.href)"
               ".join(' ');</script>\r\n";
        const QRegularExpressionMatch m = links.match(renderedDom(probe, a.dir.file("profile")));
        ASSERT_TRUE(m.hasMatch()) << name;
        const QStringList hrefs = m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // Twice the navigation: the other pages, and "前へ"/"次へ" where they lead on.
        const int navigation = 2 * (2 + (page > 0) + (page < 2));
        EXPECT_EQ(hrefs.size(), pictures + navigation) << name;
        for (const QString& href : hrefs) {
            const QString local = QUrl(href).toLocalFile();
            EXPECT_TRUE(std::filesystem::is_regular_file(local.toStdString()))
                << href.toStdString();
        }
    }
}

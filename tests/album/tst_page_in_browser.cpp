// The written page opened from disk in a real browser: every picture must load.
#include "album/album_run.h"
#include "app/startup.h"
#include "tests/support/browser.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xdg_sandbox.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {
// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;
} // namespace

TEST(PageInBrowser, EveryPictureLoads) {
    if (!haveChromium())
        GTEST_SKIP() << "Chromium is not installed (scripts/setup.sh --test installs it)";
    registerPictureFormats(32);
    TempDir dir;
    // Names that break unencoded links: blanks, "#", "%", quotes, Japanese.
    TStringList sources;
    sources.add(saveImage(patternImage(64, 48), dir.file("pics/写真 #1.jpg"), "jpg"));
    sources.add(saveImage(patternImage(50, 50), dir.file("pics/100% \"sure\".bmp"), "bmp"));
    sources.add(saveImage(patternImage(40, 30), dir.file("pics/plain.jpg"), "jpg"));
    dir.write("Option.ini", "[Small]\r\nConsecutive=0\r\nFolder=小さい 画像\r\n");

    const std::string page = dir.file("site/album.html");
    TAlbumRunHooks hooks;
    hooks.pageOptions = [] {
        TAlbumPageOptions o;
        o.title = "アルバム";
        o.frame = true;
        return o;
    };
    RunAlbum(MakeAlbumJob(page, sources, dir.file("Option.ini")), hooks);

    // The page itself, plus a script that reports what loaded.
    EXPECT_EQ(loadedPictures(page, dir.file("profile")), QStringLiteral("LOADED 3 OF 3"));

    // Each link leads to a large picture on disk.
    const QString html = QString::fromStdString(readFile(page));
    const QRegularExpression href(QStringLiteral("<a href=\"([^\"]+)\">"));
    int links = 0;
    for (auto it = href.globalMatch(html); it.hasNext(); ++links) {
        const QString url = it.next().captured(1);
        const QByteArray path = QByteArray::fromPercentEncoding(url.toUtf8());
        EXPECT_TRUE(fileExists(dir.file("site/" + path.toStdString()))) << url.toStdString();
    }
    EXPECT_EQ(links, 3);
}

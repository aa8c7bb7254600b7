// The written page opened from disk in a real browser: every picture must load.
#include "album/album_run.h"
#include "app/startup.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

const char* const kChromium = "/usr/bin/chromium";

// Runs headless Chromium on the file and returns the document after load.
QString renderedDom(const std::string& file, const std::string& profile) {
    QProcess p;
    p.start(QString::fromLatin1(kChromium),
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + QString::fromStdString(profile), "--virtual-time-budget=10000",
             "--dump-dom", QUrl::fromLocalFile(QString::fromStdString(file)).toString()});
    if (!p.waitForFinished(120000))
        p.kill();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(PageInBrowser, EveryPictureLoads) {
    if (!std::filesystem::exists(kChromium))
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
    const std::string probe = dir.write(
        "site/probe.html", readFile(page) +
                               "<script>window.addEventListener('load', () => {"
                               " const all = Array.from(document.images);"
                               " const ok = all.filter(i => i.complete && i.naturalWidth > 0);"
                               " document.title = 'LOADED ' + ok.length + ' OF ' + all.length; });"
                               "</script>\r\n");
    const QString dom = renderedDom(probe, dir.file("profile"));
    EXPECT_TRUE(dom.contains(QStringLiteral("<title>LOADED 3 OF 3</title>"))) << dom.toStdString();

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

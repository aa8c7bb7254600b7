// kelvora-album's page and skipping options, and what a refused write says, with
// the real executable.
#include "app/album_command.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

struct Result {
    int exitCode;
    QString out, err;
};

Result runCommand(const QStringList& args, const std::string& cwd) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(cwd));
    p.start(QStringLiteral(KELVORA_ALBUM_COMMAND), args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(AlbumCommandPages, FlagsAndTheirBounds) {
    const auto paged =
        ParseAlbumCommand({"--per-page", "20", "--skip-unreadable", "a.html", "b.jpg"});
    ASSERT_TRUE(paged.command);
    EXPECT_EQ(paged.command->perPage, 20);
    EXPECT_TRUE(paged.command->skipUnreadable);

    const auto plain = ParseAlbumCommand({"a.html", "b.jpg"});
    ASSERT_TRUE(plain.command);
    EXPECT_FALSE(plain.command->perPage); // Option.ini decides
    EXPECT_FALSE(plain.command->skipUnreadable);

    for (const char* bad : {"-1", "10000", "x"}) {
        const auto r = ParseAlbumCommand({"--per-page", bad, "a.html", "b.jpg"});
        EXPECT_FALSE(r.command) << bad;
        EXPECT_EQ(r.exitCode, 2);
    }
}

TEST(AlbumCommandPages, SkippedPicturesAreListedAndTheExitStatusIsThree) {
    TempDir dir;
    saveImage(patternImage(40, 30), dir.file("pics/a.bmp"), "bmp");
    dir.write("pics/broken.jpg", "not a picture");
    saveImage(patternImage(30, 40), dir.file("pics/c.bmp"), "bmp");
    dir.write("opts.ini", "[Page]\r\nPerPage=1\r\n");
    const QStringList pictures{"pics/a.bmp", "pics/broken.jpg", "pics/c.bmp"};

    const Result off =
        runCommand(QStringList{"--options", "opts.ini", "site/album.html"} + pictures, dir.path());
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_TRUE(off.err.contains(QString::fromStdString(dir.file("pics/broken.jpg")) + ": "))
        << off.err.toStdString();
    EXPECT_FALSE(fileExists(dir.file("site/album.html")));

    const Result on = runCommand(
        QStringList{"--options", "opts.ini", "--skip-unreadable", "site/album.html"} + pictures,
        dir.path());
    EXPECT_EQ(on.exitCode, 3) << on.err.toStdString();
    EXPECT_TRUE(on.out.startsWith(QStringLiteral("完了しました: ")));
    EXPECT_TRUE(on.out.contains(QStringLiteral("読めない画像 1 枚を飛ばしました:\n%1: ")
                                    .arg(QString::fromStdString(dir.file("pics/broken.jpg")))))
        << on.out.toStdString();
    // Option.ini's one picture a page, the flag overriding it.
    EXPECT_TRUE(fileExists(dir.file("site/album_2.html")));
    EXPECT_FALSE(fileExists(dir.file("site/album_3.html")));

    const Result one = runCommand(QStringList{"--options", "opts.ini", "--per-page", "0",
                                              "site/one.html", "pics/a.bmp", "pics/c.bmp"},
                                  dir.path());
    EXPECT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_FALSE(fileExists(dir.file("site/one_2.html")));
}

TEST(AlbumCommandPages, ARefusedWriteSaysPermissionIsMissing) {
    TempDir dir;
    handToNobody(dir.path(), 0755);
    const std::string picture = saveImage(patternImage(40, 30), dir.file("pics/a.bmp"), "bmp");
    // Folders only root may write into: one without the picture folder, one with it.
    makeDirAt(dir.file("bare"));
    makeDirAt(dir.file("made/large"));
    makeDirAt(dir.file("made/Small"));
    const struct {
        std::string page;
        std::string says;
    } cases[] = {
        {dir.file("bare/album.html"), "フォルダ " + dir.file("bare/large/") + " を作成できません"},
        {dir.file("made/album.html"),
         "ファイル " + dir.file("made/large/L0.jpg") + " を作成できません"},
    };
    for (const auto& c : cases) {
        const CommandResult r = runAsNobody(
            {"env", "XDG_CACHE_HOME=" + dir.file("cache"), KELVORA_ALBUM_COMMAND, c.page, picture});
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(c.says + " (書き込む権限がありません)"), std::string::npos)
            << r.output;
        EXPECT_EQ(r.output.find("No such file"), std::string::npos) << r.output;
    }
}

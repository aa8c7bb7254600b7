// kelvora-album: its arguments, and the real executable making an album.
#include "app/album_command.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

TAlbumCommandParse parse(const QStringList& args) {
    return ParseAlbumCommand(args);
}

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

TEST(AlbumCommandArguments, PageOptionsAndDefaults) {
    const auto r = parse({"--title", "旅", "--background", "#0000ff", "-c", "4", "--frame",
                          "--frame-width", "2", "--frame-color", "red", "--comments-above",
                          "/site/a.html", "/p/1.jpg", "/p/2.jpg", "/p/1.jpg"});
    ASSERT_TRUE(r.command);
    const TAlbumCommand& c = *r.command;
    EXPECT_EQ(c.htmlFileName, "/site/a.html");
    EXPECT_EQ(c.sourceFiles.items(), (std::vector<std::string>{"/p/1.jpg", "/p/2.jpg"}));
    EXPECT_EQ(c.page.title, "旅");
    EXPECT_EQ(c.page.backColor, RGB(0, 0, 255));
    EXPECT_EQ(c.page.columns, 4);
    EXPECT_TRUE(c.page.frame);
    EXPECT_EQ(c.page.frameWidth, 2);
    EXPECT_EQ(c.page.frameColor, RGB(255, 0, 0));
    EXPECT_TRUE(c.page.comments);
    EXPECT_TRUE(c.page.commentsAbove);

    const auto d = parse({"a.html", "b.jpg"});
    ASSERT_TRUE(d.command);
    EXPECT_EQ(d.command->page.columns, 3);
    EXPECT_EQ(d.command->page.backColor, clWhite);
    EXPECT_FALSE(d.command->page.comments);
    EXPECT_EQ(d.command->htmlFileName.front(), '/'); // made absolute
}

TEST(AlbumCommandArguments, RefusesWhatTheWindowWouldNotAllow) {
    for (const QStringList& args :
         {QStringList{"a.html"}, QStringList{"-c", "11", "a.html", "b.jpg"},
          QStringList{"-c", "0", "a.html", "b.jpg"},
          QStringList{"--frame-width", "10", "a.html", "b.jpg"},
          QStringList{"--background", "nocolour", "a.html", "b.jpg"},
          QStringList{"--bogus", "a.html", "b.jpg"}}) {
        const auto r = parse(args);
        EXPECT_FALSE(r.command) << args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(r.output.isEmpty());
    }
    const auto help = parse({"--help"});
    EXPECT_FALSE(help.command);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains("--comment-file"));
}

TEST(AlbumCommandArguments, ColoursInEveryForm) {
    EXPECT_EQ(ParseColor("#0A80FF"), RGB(10, 128, 255));
    EXPECT_EQ(ParseColor("0A80FF"), RGB(10, 128, 255));
    EXPECT_EQ(ParseColor("white"), clWhite);
    EXPECT_FALSE(ParseColor("#12"));
}

TEST(AlbumCommand, MakesTheAlbumWithCommentsFromAFile) {
    TempDir dir;
    saveImage(patternImage(100, 50), dir.file("pics/a.jpg"), "jpg");
    saveImage(patternImage(60, 60), dir.file("pics/b b.bmp"), "bmp");
    dir.write("comments.txt", "pics/a.jpg\tBeach & sun\r\npics/b b.bmp\t夕日\r\n");
    dir.write("opts.ini", "[Large]\r\nRate=100\r\n[Small]\r\nFolder=thumbs\r\nPictureSizeMode=0\r\n"
                          "Horizonal=20\r\nVertical=10\r\n");
    const Result r = runCommand({"--options", "opts.ini", "--comment-file", "comments.txt", "-c",
                                 "1", "site/index.html", "pics/a.jpg", "pics/b b.bmp"},
                                dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("完了しました")));
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("site/large/L1.jpg"))).size(), QSize(60, 60));
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("site/thumbs/S0.jpg"))).size(), QSize(20, 10));
    const std::string page = readFile(dir.file("site/index.html"));
    EXPECT_NE(page.find("<BR>Beach & sun\r\n"), std::string::npos);
    EXPECT_NE(page.find("<BR>夕日\r\n"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"thumbs/S1.jpg\""), std::string::npos);
}

TEST(AlbumCommand, FailsWithTheMessageAndNoPage) {
    TempDir dir;
    saveImage(patternImage(10, 10), dir.file("a.jpg"), "jpg");
    const Result r =
        runCommand({"--options", "none.ini", "page.html", "a.jpg", "missing.jpg"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("ファイル %1 は開けません")
                                   .arg(QString::fromStdString(dir.file("missing.jpg")))))
        << r.err.toStdString();
    EXPECT_TRUE(fileExists(dir.file("large/L0.jpg")));
    EXPECT_FALSE(fileExists(dir.file("page.html")));
}

// kelvora-album: its arguments, and the real executable making an album.
#include "app/album_command.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"
#include "tests/support/xdg_sandbox.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;

TAlbumCommandParse parse(const QStringList& args) {
    return ParseAlbumCommand(args);
}

struct Result {
    int exitCode;
    QString out, err;
};

Result runCommand(const QStringList& args, const std::string& cwd,
                  const QString& program = QStringLiteral(KELVORA_ALBUM_COMMAND)) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(cwd));
    // As from a plain terminal session: no runtime folder, whatever the test runner has.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Waits until a run has a temporary file in the folder.
bool waitForStagedFile(const std::string& folder) {
    for (int waited = 0; waited < 60000; waited += 5) {
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().filename().string().find(".kelvora-") != std::string::npos)
                return true;
        QThread::msleep(5);
    }
    return false;
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
          QStringList{"--bogus", "a.html", "b.jpg"},
          // The page argument forgotten: the first photo must not become the page.
          QStringList{"a.jpg", "b.jpg", "c.jpg"}, QStringList{"page.html.jpg", "b.jpg"},
          QStringList{"/p/a.html", "/p/b.jpg", "/p/../p/a.html"},
          QStringList{"--jobs", "0", "a.html", "b.jpg"},
          QStringList{"--options", "/nonexistent/Option.ini", "a.html", "b.jpg"}}) {
        const auto r = parse(args);
        EXPECT_FALSE(r.command) << args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(r.output.isEmpty());
    }
    const auto help = parse({"--help"});
    EXPECT_FALSE(help.command);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains("--comment-file"));
    const auto version = parse({"--version"});
    EXPECT_EQ(version.output, QStringLiteral("kelvora-album 4.0.0\n"));
    // Any case of .html or .htm is a page.
    for (const char* page : {"a.HTML", "b.htm", "c.Htm"})
        EXPECT_TRUE(parse({page, "x.jpg"}).command) << page;
    const auto jobs = parse({"-j", "3", "a.html", "b.jpg"});
    ASSERT_TRUE(jobs.command);
    EXPECT_EQ(jobs.command->jobs, 3);
    EXPECT_FALSE(jobs.command->rebuild);
    const auto rebuild = parse({"--rebuild", "a.html", "b.jpg"});
    ASSERT_TRUE(rebuild.command);
    EXPECT_TRUE(rebuild.command->rebuild);
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

TEST(AlbumCommand, SmoothAndFitReachBothSizes) {
    TempDir dir;
    saveImage(photoLike(200, 100, 5), dir.file("pics/a.jpg"), "jpg", 95);
    saveImage(photoLike(90, 120, 6), dir.file("pics/b.png"), "png");
    saveImage(photoLike(120, 90, 7), dir.file("pics/c.bmp"), "bmp");
    dir.write("opts.ini", "[Large]\r\nPictureSizeMode=0\r\nHorizonal=80\r\nVertical=80\r\n"
                          "[Small]\r\nPictureSizeMode=0\r\nHorizonal=40\r\nVertical=30\r\n");
    const auto picture = [&](const char* album, const char* file) {
        return QImage(QString::fromStdString(dir.file(std::string(album) + "/" + file)));
    };
    for (const char* album : {"plain", "fit", "smooth"}) {
        QStringList args{"--options",  "opts.ini",   QString::fromLatin1(album) + "/index.html",
                         "pics/a.jpg", "pics/b.png", "pics/c.bmp"};
        if (std::string(album) != "plain")
            args.prepend(QStringLiteral("--") + QString::fromLatin1(album));
        const Result r = runCommand(args, dir.path());
        ASSERT_EQ(r.exitCode, 0) << album << ": " << r.err.toStdString();
    }
    // Stretched to the box, or fitted inside it.
    EXPECT_EQ(picture("plain", "large/L0.jpg").size(), QSize(80, 80));
    EXPECT_EQ(picture("fit", "large/L0.jpg").size(), QSize(80, 40));
    EXPECT_EQ(picture("fit", "Small/S0.jpg").size(), QSize(40, 20));
    EXPECT_EQ(picture("fit", "large/L1.jpg").size(), QSize(60, 80));
    EXPECT_EQ(picture("fit", "Small/S1.jpg").size(), QSize(23, 30)); // 22.5 rounds up
    // Filtered, both sizes, from a JPEG's rows, a plug-in's bitmap and a picture
    // loaded whole: closer to a Lanczos resize.
    const std::pair<const char*, const char*> outputs[] = {
        {"large/L0.jpg", "pics/a.jpg"}, {"Small/S0.jpg", "pics/a.jpg"},
        {"large/L1.jpg", "pics/b.png"}, {"Small/S1.jpg", "pics/b.png"},
        {"large/L2.jpg", "pics/c.bmp"}, {"Small/S2.jpg", "pics/c.bmp"}};
    for (const auto& [file, source] : outputs) {
        const QImage smooth = picture("smooth", file);
        const QImage reference = magickLanczos(QImage(QString::fromStdString(dir.file(source))),
                                               smooth.size(), dir.path());
        EXPECT_GT(psnr(smooth, reference), psnr(picture("plain", file), reference) + 3) << file;
    }
}

TEST(AlbumCommand, FailureNamesThePictureAndLeavesNothing) {
    TempDir dir;
    saveImage(patternImage(10, 10), dir.file("a.jpg"), "jpg");
    dir.write("broken.jpg", std::string("\xFF\xD8\xFF\xC0\x00\x03", 6));
    const struct {
        const char* picture;
        QString message;
    } cases[] = {
        {"missing.jpg",
         QStringLiteral("kelvora-album: %1/missing.jpg: ファイル %1/missing.jpg は開けません "
                        "(No such file or directory)\n")},
        {"broken.jpg", QStringLiteral("kelvora-album: %1/broken.jpg: JPEG エラー #")},
    };
    for (const auto& c : cases) {
        const Result r = runCommand({"page.html", "a.jpg", c.picture}, dir.path());
        EXPECT_EQ(r.exitCode, 1);
        const QString expected = c.message.arg(QString::fromStdString(dir.path()));
        EXPECT_TRUE(r.err.startsWith(expected)) << r.err.toStdString();
        EXPECT_FALSE(fileExists(dir.file("large")));
        EXPECT_FALSE(fileExists(dir.file("page.html")));
    }
    // libjpeg's own words follow its error number.
    const Result r = runCommand({"page.html", "broken.jpg"}, dir.path());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("JPEG エラー #\\d+ \\(.+\\)\\n$"))
                    .match(r.err)
                    .hasMatch())
        << r.err.toStdString();
}

// File names the code page cannot decode reach the run as their bytes, and a message
// shows them marked. (The shell makes the arguments: QProcess cannot pass such bytes.)
TEST(AlbumCommand, PicturesAreNamedByTheirBytes) {
    TempDir dir;
    // Qt would write the picture under another name: it is renamed by its bytes.
    std::filesystem::rename(saveImage(patternImage(10, 10), dir.file("a.jpg"), "jpg"),
                            dir.file("caf\xE9.jpg"));
    const auto run = [&](const char* pictures) {
        return runCommand({QStringLiteral("-c"),
                           QStringLiteral("exec \"$0\" page.html %1").arg(QLatin1String(pictures)),
                           QStringLiteral(KELVORA_ALBUM_COMMAND)},
                          dir.path(), QStringLiteral("/bin/sh"));
    };
    const Result made = run("\"$(printf 'caf\\351.jpg')\"");
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_FALSE(QImage(QString::fromStdString(dir.file("large/L0.jpg"))).isNull());
    const Result missing = run("\"$(printf '\\376.jpg')\"");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("ファイル %1/\\xFE.jpg は開けません")
                                         .arg(QString::fromStdString(dir.path()))))
        << missing.err.toStdString();
}

TEST(AlbumCommand, QuietOnSuccessWithoutARuntimeFolder) {
    TempDir dir;
    saveImage(patternImage(10, 10), dir.file("a.jpg"), "jpg");
    const QString options = QString::fromStdString(dir.write("o.ini", ""));
    const Result r = runCommand({"--options", options, "page.html", "a.jpg"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, QString());
}

TEST(AlbumCommand, InterruptedRunLeavesTheAlbumThatWasThere) {
    TempDir dir;
    std::vector<QString> pictures;
    for (int i = 0; i < 40; ++i)
        pictures.push_back(QString::fromStdString(
            saveImage(photoLike(800, 600, i), dir.file(std::to_string(i).append(".jpg")), "jpg")));
    QStringList args{"-j", "1", "site/page.html"};
    ASSERT_EQ(runCommand(args + QStringList{pictures[0]}, dir.path()).exitCode, 0);
    const std::string oldPage = readFile(dir.file("site/page.html"));
    const std::string oldPicture = readFile(dir.file("site/large/L0.jpg"));

    for (const int signal : {SIGINT, SIGTERM}) {
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.path()));
        p.start(QStringLiteral(KELVORA_ALBUM_COMMAND),
                args + QStringList(pictures.begin(), pictures.end()));
        ASSERT_TRUE(p.waitForStarted());
        // Once the run is writing, interrupt it.
        ASSERT_TRUE(waitForStagedFile(dir.file("site/large")));
        ::kill(static_cast<pid_t>(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 128 + signal);
        EXPECT_EQ(readFile(dir.file("site/page.html")), oldPage);
        EXPECT_EQ(readFile(dir.file("site/large/L0.jpg")), oldPicture);
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("site")))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left,
                  (std::vector<std::string>{"L0.jpg", "S0.jpg", "Small", "large", "page.html"}));
    }
}

TEST(AlbumCommand, RerunsKeepTheirPicturesAndNameWhatCouldNotBeTrashed) {
    // Run as another user, so that a folder it may not change refuses the trash.
    TempDir dir;
    handToNobody(dir.path(), 0755);
    for (const char* folder : {"cache", "data"})
        handToNobody(makeDirAt(dir.file(folder)), 0755);
    const std::string a = saveImage(photoLike(40, 30, 1), dir.file("a.jpg"), "jpg");
    const std::string b = saveImage(photoLike(30, 40, 2), dir.file("b.jpg"), "jpg");
    const auto run = [&](const std::string& options, std::vector<std::string> args) {
        std::vector<std::string> argv = {
            "env",
            "HOME=" + dir.path(),
            "XDG_CACHE_HOME=" + dir.file("cache"),
            "XDG_DATA_HOME=" + dir.file("data"),
            "XDG_RUNTIME_DIR=",
            KELVORA_ALBUM_COMMAND,
            "--options",
            dir.write(options + ".ini", options == "big" ? "[Large]\r\nFolder=big\r\n" : "")};
        argv.insert(argv.end(), args.begin(), args.end());
        return runAsNobody(argv);
    };
    const std::string page = dir.file("site/page.html");
    ASSERT_EQ(run("plain", {page, a, b}).exitCode, 0);
    const auto inode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    };
    const ino_t small = inode(dir.file("site/Small/S0.jpg"));
    ASSERT_EQ(run("plain", {page, a, b}).exitCode, 0);
    EXPECT_EQ(inode(dir.file("site/Small/S0.jpg")), small);

    // The large pictures move to another folder; the old one is not the user's to change.
    ASSERT_EQ(::chown(dir.file("site/large").c_str(), 0, 0), 0);
    const CommandResult moved = run("big", {"--rebuild", page, a});
    EXPECT_EQ(moved.exitCode, 0) << moved.output;
    EXPECT_NE(inode(dir.file("site/Small/S0.jpg")), small);
    EXPECT_NE(
        moved.output.find("kelvora-album: 次のファイルはごみ箱に移せなかったので残しました:\n" +
                          dir.file("site/large/L0.jpg") + "\n" + dir.file("site/large/L1.jpg")),
        std::string::npos)
        << moved.output;
    EXPECT_TRUE(fileExists(dir.file("site/large/L1.jpg")));
    EXPECT_FALSE(fileExists(dir.file("site/Small/S1.jpg")));
    EXPECT_TRUE(fileExists(dir.file("data/Trash/files/S1.jpg")));
    EXPECT_TRUE(fileExists(dir.file("site/big/L0.jpg")));
}

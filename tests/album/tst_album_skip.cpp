// Pictures that cannot be read: left out when asked, with the others numbered and
// commented as if they had never been listed; otherwise the first one stops the
// run. What a failure says: the picture and the reason.
#include "album/album_messages.h"
#include "album/album_run.h"
#include "base/errors.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

struct Pictures {
    TempDir dir;
    std::string page = dir.file("site/album.html");
    std::string good1 = saveImage(patternImage(40, 30), dir.file("pics/good1.bmp"), "bmp");
    std::string broken = dir.write("pics/broken.jpg", "\xFF\xD8\xFF\xE0 not a JPEG at all");
    std::string folder = makeDirAt(dir.file("pics/folder"));
    std::string missing = dir.file("pics/missing.bmp");
    std::string good2 = saveImage(patternImage(30, 40), dir.file("pics/good2.bmp"), "bmp");

    TAlbumJob job(bool skip) const {
        TStringList list;
        for (const std::string* p : {&good1, &broken, &folder, &missing, &good2})
            list.add(*p);
        TAlbumJob j = MakeAlbumJob(page, list, dir.file("Option.ini"));
        j.skipUnreadable = skip;
        return j;
    }
};

TAlbumRunHooks withComments() {
    TAlbumRunHooks hooks;
    hooks.pageOptions = [] {
        TAlbumPageOptions o;
        o.comments = true;
        return o;
    };
    hooks.comments = [](const std::string& source) -> std::optional<std::string> {
        return "comment of " + source.substr(source.rfind('/') + 1);
    };
    return hooks;
}

} // namespace

TEST(SkipUnreadable, OffTheFirstUnreadablePictureStopsTheRun) {
    for (const int jobs : {1, 2}) {
        Pictures p;
        try {
            RunAlbum(p.job(false), withComments(), jobs);
            FAIL() << "the run went on";
        } catch (const EAlbumPicture& e) {
            EXPECT_EQ(e.sourceFile(), p.broken);
        }
        EXPECT_FALSE(fileExists(p.page));
    }
}

TEST(SkipUnreadable, OnTheOthersAreNumberedAndCommentedAsIfAlone) {
    for (const int jobs : {1, 2}) {
        Pictures p;
        const TAlbumRunResult result = RunAlbum(p.job(true), withComments(), jobs);
        ASSERT_EQ(result.skipped.size(), 3u);
        EXPECT_EQ(result.skipped[0].sourceFile(), p.broken);
        EXPECT_EQ(result.skipped[1].sourceFile(), p.folder);
        EXPECT_EQ(result.skipped[2].sourceFile(), p.missing);

        const std::string html = readFile(p.page);
        EXPECT_NE(html.find("<a href=\"large/L1.jpg\">\r\n<img src=\"Small/S1.jpg\" border=\"0\">"
                            "</a>\r\n<BR>comment of good2.bmp\r\n"),
                  std::string::npos);
        EXPECT_EQ(html.find("broken"), std::string::npos);
        EXPECT_EQ(QImage(QString::fromStdString(p.dir.file("site/large/L1.jpg"))).size(),
                  QSize(15, 20)); // good2 at 50 %
        EXPECT_FALSE(fileExists(p.dir.file("site/large/L2.jpg")));
        EXPECT_FALSE(fileExists(p.dir.file("site/Small/S2.jpg")));
    }
}

TEST(SkipUnreadable, AWriteThatFailsStillStopsTheRun) {
    Pictures p;
    TAlbumJob job = p.job(true);
    job.sourceFiles.clear();
    job.sourceFiles.add(p.dir.write("pics/big.jpg", encodeWithCjpeg(photoLike(300, 200, 4), {})));
    try {
        const FileSizeLimit fullDisk(700);
        RunAlbum(job, {});
        FAIL() << "the run went on";
    } catch (const EAlbumPicture& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("を作成できません"))) << e.what();
    }
    EXPECT_FALSE(fileExists(p.page));

    // A folder that cannot be made is named, before any picture is converted.
    writeFileAt(p.dir.file("site/large"), "a file where the folder goes");
    try {
        RunAlbum(p.job(true), {});
        FAIL() << "the run went on";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(
            e.message().startsWith(QStringLiteral("フォルダ %1/site/large/ を作成できません")
                                       .arg(QString::fromStdString(p.dir.path()))))
            << e.what();
    }
}

TEST(RunMessages, NameThePictureAndTheReason) {
    Pictures p;
    const auto messageFor = [&](const std::string& picture) {
        TAlbumJob job = p.job(false);
        job.sourceFiles.clear();
        job.sourceFiles.add(picture);
        try {
            RunAlbum(job, {});
        } catch (const Exception& e) {
            return AlbumErrorText(e);
        }
        return QString();
    };
    const struct {
        const std::string& picture;
        const char* reason;
        const char* notThis;
    } cases[] = {
        {p.broken, "JPEG エラー", nullptr},
        {p.folder, "Is a directory", "拡張子"},
        {p.missing, "No such file or directory", nullptr},
    };
    for (const auto& c : cases) {
        const QString text = messageFor(c.picture);
        EXPECT_TRUE(text.startsWith(QString::fromStdString(c.picture) + QStringLiteral(": ")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.reason))) << text.toStdString();
        if (c.notThis) {
            EXPECT_FALSE(text.contains(QString::fromUtf8(c.notThis))) << text.toStdString();
        }
    }

    TAlbumRunResult result;
    EXPECT_TRUE(SkippedPicturesText(result).isEmpty());
    result.skipped.emplace_back(EFOpenError(QStringLiteral("ファイル x は開けません")), "/p/x.jpg");
    EXPECT_EQ(
        SkippedPicturesText(result),
        QStringLiteral("読めない画像 1 枚を飛ばしました:\n/p/x.jpg: ファイル x は開けません"));
}

#include "album/output_paths.h"
#include "album/picture_converter.h"
#include "app/startup.h"
#include "base/errors.h"
#include "base/picture.h"
#include "base/stringlist.h"
#include "jpeg/jpeg_image.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kelvora;
using kelvora::test::fileExists;
using kelvora::test::patternImage;
using kelvora::test::readFile;
using kelvora::test::TempDir;

namespace {

class Formats : public ::testing::Environment {
public:
    void SetUp() override { registerPictureFormats(32); }
};
const auto* const formats = ::testing::AddGlobalTestEnvironment(new Formats);

TPictureSettings settingsFor(const TempDir& dir, TPictureKind kind) {
    TPictureSettings s = DefaultPictureSettings(kind);
    s.OutputFolder = OutputFolderOf(BaseFolderOf(dir.file("album.html")), s.Folder);
    return s;
}

QSize jpegSize(const std::string& fileName) {
    TPicture picture;
    picture.loadFromFile(fileName);
    return {picture.width(), picture.height()};
}

// The picture as the run sees it: loaded through the picture loader and decoded.
QImage decoded(const std::string& fileName) {
    TPicture picture;
    picture.loadFromFile(fileName);
    return picture.graphic()->image();
}

} // namespace

TEST(ConvertPicture, PercentModeTruncatesEachSide) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    ConvertPicture(s, patternImage(333, 201), "/pics/a.bmp", 0, names);
    ASSERT_EQ(names.count(), 1);
    EXPECT_EQ(names[0], dir.path() + "/large/L0.jpg");
    EXPECT_EQ(jpegSize(names[0]), QSize(166, 100));

    s.Rate = 200; // enlargement shows the whole picture, twice the size
    ConvertPicture(s, patternImage(100, 80), "/pics/b.bmp", 1, names);
    EXPECT_EQ(jpegSize(names[1]), QSize(200, 160));
}

TEST(ConvertPicture, PixelModeStretchesToTheGivenSize) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Small);
    s.PictureSizeMode = false;
    s.Vertical = 300;
    s.Horizonal = 400;
    ConvertPicture(s, patternImage(640, 480), "/pics/a.bmp", 0, names);
    EXPECT_EQ(jpegSize(names[0]), QSize(400, 300));
}

TEST(ConvertPicture, NumberedAndSourceNames) {
    TempDir dir;
    TStringList names;
    TPictureSettings large = settingsFor(dir, TPictureKind::Large);
    const QImage picture = patternImage(20, 10);
    ConvertPicture(large, picture, "/photos/x.png", 0, names);
    ConvertPicture(large, picture, "/photos/y.png", 10, names);
    EXPECT_EQ(names[0], dir.path() + "/large/L0.jpg");
    EXPECT_EQ(names[1], dir.path() + "/large/L10.jpg");

    TPictureSettings small = settingsFor(dir, TPictureKind::Small);
    small.Consecutive = false;
    ConvertPicture(small, picture, "/photos/IMG_0001.JPG", 2, names);
    EXPECT_EQ(names[2], dir.path() + "/Small/SIMG_0001.jpg");
    EXPECT_TRUE(fileExists(names[2]));
}

TEST(ConvertPicture, SameSourceNameTwiceReplacesTheFile) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Small);
    s.Consecutive = false;
    ConvertPicture(s, patternImage(100, 100), "/a/photo.jpg", 0, names);
    ConvertPicture(s, patternImage(200, 50), "/b/photo.jpg", 1, names);
    ASSERT_EQ(names.count(), 2);
    EXPECT_EQ(names[0], names[1]);
    EXPECT_EQ(jpegSize(names[1]), QSize(60, 15)); // the later picture won
}

TEST(ConvertPicture, TinySidesKeepOnePixel) {
    const struct {
        QSize source;
        int rate;
        QSize target;
    } cases[] = {
        {{3, 40}, 30, {1, 12}},    // 0.9 pixels wide
        {{1, 1}, 30, {1, 1}},      // a one-pixel photo
        {{1000, 1}, 30, {300, 1}}, // a one-row strip
        {{1, 1000}, 50, {1, 500}}, // a one-column strip
        {{2, 2}, 200, {4, 4}},     // enlarged
    };
    for (const auto& c : cases) {
        TempDir dir;
        TStringList names;
        TPictureSettings s = settingsFor(dir, TPictureKind::Small);
        s.Rate = c.rate;
        ConvertPicture(s, patternImage(c.source.width(), c.source.height()), "/a/t.bmp", 0, names);
        ASSERT_EQ(names.count(), 1);
        EXPECT_GT(readFile(names[0]).size(), 0u);
        EXPECT_EQ(jpegSize(names[0]), c.target) << c.source.width() << "x" << c.source.height();
    }
}

TEST(TargetSize, KeepAspectFitsInsideTheBoxUndistorted) {
    const struct {
        QSize source;
        QSize box; // Horizonal x Vertical
        QSize target;
    } cases[] = {
        {{640, 480}, {400, 300}, {400, 300}}, // same proportions: the box itself
        {{640, 480}, {400, 400}, {400, 300}}, // width meets the box
        {{480, 640}, {400, 300}, {225, 300}}, // a portrait photo: height meets it
        {{333, 201}, {100, 100}, {100, 60}},  // 60.36 rounds down
        {{4, 3}, {10, 10}, {10, 8}},          // 7.5 rounds up
        {{10, 10}, {300, 200}, {200, 200}},   // enlarged, as pixel mode does
        {{1000, 1}, {50, 50}, {50, 1}},       // 0.05 keeps one pixel
        {{1, 1000}, {50, 50}, {1, 50}},       // and across
        {{3, 2}, {2147483647, 5}, {8, 5}},    // a huge box side cannot overflow
    };
    for (const auto& c : cases) {
        TPictureSettings s = DefaultPictureSettings(TPictureKind::Large);
        s.PictureSizeMode = false;
        s.KeepAspect = true;
        s.Horizonal = c.box.width();
        s.Vertical = c.box.height();
        EXPECT_EQ(TargetSize(s, c.source.width(), c.source.height()), c.target)
            << c.source.width() << "x" << c.source.height() << " in " << c.box.width() << "x"
            << c.box.height();
        s.KeepAspect = false; // stretched to the box
        if (c.box.width() < 10000) {
            EXPECT_EQ(TargetSize(s, c.source.width(), c.source.height()), c.box);
        }
    }
    // Percent mode keeps proportions anyway; an empty box is refused as before.
    TPictureSettings s = DefaultPictureSettings(TPictureKind::Small);
    s.KeepAspect = true;
    EXPECT_EQ(TargetSize(s, 333, 201), QSize(99, 60));
    s.PictureSizeMode = false;
    s.Horizonal = 0;
    EXPECT_THROW(TargetSize(s, 10, 10), EInvalidGraphicOperation);
}

TEST(ConvertPicture, QualityAboveHundredEncodesAsHundred) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    const QImage picture = patternImage(64, 48);
    s.Quality = 255;
    ConvertPicture(s, picture, "/a/x.bmp", 0, names);
    s.Quality = 100;
    ConvertPicture(s, picture, "/a/x.bmp", 1, names);
    s.Quality = 90;
    ConvertPicture(s, picture, "/a/x.bmp", 2, names);
    EXPECT_EQ(readFile(names[0]), readFile(names[1]));
    EXPECT_NE(readFile(names[1]), readFile(names[2]));
    // Only the low byte counts: 256 + 90 is 90.
    s.Quality = 256 + 90;
    ConvertPicture(s, picture, "/a/x.bmp", 3, names);
    EXPECT_EQ(readFile(names[3]), readFile(names[2]));
}

TEST(ConvertPicture, SamplesNearestPixelsWithoutBlending) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    s.PictureType = "Png"; // lossless, so every sampled pixel can be checked
    s.PictureSizeMode = false;
    s.Horizonal = 7;
    s.Vertical = 5;
    const QImage source = patternImage(23, 13).convertToFormat(QImage::Format_BGR888);
    ConvertPicture(s, source, "/a/p.bmp", 0, names);
    EXPECT_EQ(names[0], dir.path() + "/large/L0.png");
    const QImage out(QString::fromStdString(names[0]));
    ASSERT_EQ(out.size(), QSize(7, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const QRgb want = source.pixel((2 * x + 1) * 23 / 14, (2 * y + 1) * 13 / 10);
            EXPECT_EQ(out.pixel(x, y), want) << x << "," << y;
        }
}

TEST(ConvertPicture, PngKeepsPalettePictures) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Small);
    s.PictureType = "Png";
    QImage indexed(10, 10, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            indexed.setPixel(x, y, (x + y) % 2);
    s.Rate = 100;
    ConvertPicture(s, indexed, "/a/p.bmp", 0, names);
    const std::string png = readFile(names[0]);
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<int>(png[25]), 3); // colour type: palette
    const QImage out(QString::fromStdString(names[0]));
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(1, 0), qRgb(0, 0, 255));
}

TEST(ConvertPicture, UnknownPictureTypeFailsWithoutRecordingAName) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    s.PictureType = "jpeg"; // the comparison is case-sensitive
    try {
        ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names);
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("jpeg")));
    }
    EXPECT_EQ(names.count(), 0);
}

TEST(ConvertPicture, UncreatableFileFailsAfterRecordingItsName) {
    TempDir dir;
    dir.write("blocker", "a file where the folder should go");
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    s.OutputFolder = dir.file("blocker") + "/large/";
    try {
        ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names);
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.message().toStdString(),
                  "ファイル " + s.OutputFolder + "L0.jpg を作成できません");
    }
    ASSERT_EQ(names.count(), 1);
    EXPECT_EQ(names[0], s.OutputFolder + "L0.jpg");
}

TEST(ConvertPicture, CreatesEveryMissingParentFolder) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    s.OutputFolder = OutputFolderOf(dir.path() + "/", "a/b/c");
    ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names);
    EXPECT_TRUE(fileExists(dir.path() + "/a/b/c/L0.jpg"));
}

TEST(ConvertPicture, RefusesEmptyNegativeAndHugeTargets) {
    TempDir dir;
    TStringList names;
    TPictureSettings s = settingsFor(dir, TPictureKind::Large);
    s.PictureSizeMode = false;
    for (const int nothing : {0, -5}) {
        s.Horizonal = nothing;
        EXPECT_THROW(ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names),
                     EInvalidGraphicOperation);
    }
    s.Horizonal = 100000;
    s.Vertical = 100000;
    EXPECT_THROW(ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names), EOutOfResources);
    s.PictureSizeMode = true;
    s.Rate = 2000000000; // would wrap in 32 bits
    EXPECT_THROW(ConvertPicture(s, patternImage(10, 10), "/a/x.bmp", 0, names), EOutOfResources);
    EXPECT_EQ(names.count(), 0);
}

TEST(ConvertPicture, FromRealFilesThroughThePictureLoader) {
    TempDir dir;
    const std::string bmp =
        kelvora::test::saveImage(patternImage(90, 60), dir.file("src/a.bmp"), "bmp");
    const std::string jpg =
        kelvora::test::saveImage(patternImage(120, 80), dir.file("src/b.jpg"), "jpg", 95);
    TStringList large;
    TStringList small;
    const TPictureSettings ls = settingsFor(dir, TPictureKind::Large);
    const TPictureSettings ss = settingsFor(dir, TPictureKind::Small);
    int index = 0;
    for (const std::string& source : {bmp, jpg}) {
        ConvertPicture(ls, decoded(source), source, index, large);
        ConvertPicture(ss, decoded(source), source, index, small);
        ++index;
    }
    EXPECT_EQ(jpegSize(large[0]), QSize(45, 30));
    EXPECT_EQ(jpegSize(small[0]), QSize(27, 18));
    EXPECT_EQ(jpegSize(large[1]), QSize(60, 40));
    EXPECT_EQ(jpegSize(small[1]), QSize(36, 24));
    EXPECT_EQ(small[1], dir.path() + "/Small/S1.jpg");
}

// Metafiles made byte by byte play through the real converters at the size
// their headers give; broken files, a missing converter and a misbehaving one
// fail with the program's errors.
#include "base/errors.h"
#include "base/metafile.h"
#include "base/picture.h"
#include "tests/base/picture_bytes.h"
#include "tests/support/temp_dir.h"

#include <QPainter>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace kelvora;
using kelvora::test::makeEmf;
using kelvora::test::makeWmf;
using kelvora::test::TempDir;

namespace {

constexpr std::uint32_t kRedRef = 0x000000FF; // COLORREF: 0x00BBGGRR
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

QString invalidMessage(const std::string& file) {
    TMetafile metafile;
    try {
        metafile.loadFromBytes(file);
    } catch (const EInvalidGraphic& e) {
        return e.message();
    }
    return QStringLiteral("(no EInvalidGraphic)");
}

// The left half is filled, the right half shows the background.
void expectLeftHalfRed(const QImage& image) {
    const int y = image.height() / 2;
    EXPECT_EQ(image.pixel(image.width() / 4, y), kRed);
    EXPECT_EQ(image.pixel(image.width() * 3 / 4, y), kWhite);
}

// Sets PATH for one test.
class PathGuard {
public:
    explicit PathGuard(const QByteArray& path) : saved_(qgetenv("PATH")) { qputenv("PATH", path); }
    ~PathGuard() { qputenv("PATH", saved_); }
    PathGuard(const PathGuard&) = delete;
    PathGuard& operator=(const PathGuard&) = delete;

private:
    QByteArray saved_;
};

// A stand-in converter: a shell script that finds its output file after -o and runs body.
std::string fakeConverter(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path =
        dir.write("bin/" + name,
                  "#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=\"$2\"; shift; done\n" +
                      body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return dir.file("bin");
}

} // namespace

TEST(Metafile, PlaceableWmfTakesItsSizeFromTheBoundingBox) {
    TMetafile metafile;
    metafile.loadFromBytes(makeWmf(true, 1440, 720, 1440, kRedRef)); // 1 x 0.5 inch
    EXPECT_FALSE(metafile.enhanced());
    EXPECT_EQ(metafile.width(), 96);
    EXPECT_EQ(metafile.height(), 48);
    const QImage image = metafile.image();
    EXPECT_EQ(image.size(), QSize(96, 48));
    expectLeftHalfRed(image);
}

TEST(Metafile, WmfWithoutPlaceableHeaderIsSizedByItsDrawing) {
    // No frame in the file: the picture is what it draws, the filled square.
    TMetafile metafile;
    metafile.loadFromBytes(makeWmf(false, 1440, 720, 0, kRedRef));
    ASSERT_GT(metafile.height(), 0);
    EXPECT_EQ(metafile.width(), metafile.height());
    const QImage image = metafile.image();
    EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), kRed);
}

TEST(Metafile, EmfTakesItsSizeFromTheFrameAndContentDecidesTheKind) {
    TempDir dir;
    TMetafile metafile;
    // 25.4 x 12.7 mm, saved under the other extension.
    metafile.loadFromFile(dir.write("picture.wmf", makeEmf(2540, 1270, kRedRef)));
    EXPECT_TRUE(metafile.enhanced());
    EXPECT_EQ(metafile.width(), 96);
    EXPECT_EQ(metafile.height(), 48);
    expectLeftHalfRed(metafile.image());
}

TEST(Metafile, BigPicturesAreReducedKeepingTheAspect) {
    TMetafile metafile;
    metafile.loadFromBytes(makeWmf(true, 32000, 16000, 100, kRedRef)); // 30720 x 15360
    EXPECT_EQ(metafile.width(), kMaxMetafileSide);
    EXPECT_EQ(metafile.height(), kMaxMetafileSide / 2);
    EXPECT_EQ(metafile.image().size(), QSize(kMaxMetafileSide, kMaxMetafileSide / 2));
}

TEST(Metafile, DrawsAsVectorsOverTheBackground) {
    TMetafile metafile;
    metafile.loadFromBytes(makeEmf(2540, 1270, kRedRef));
    QImage canvas(400, 100, QImage::Format_RGB32);
    canvas.fill(Qt::blue);
    QPainter painter(&canvas);
    metafile.draw(painter, QRect(0, 0, 400, 100));
    painter.end();
    EXPECT_EQ(canvas.pixel(100, 50), kRed);
    EXPECT_EQ(canvas.pixel(300, 50), qRgb(0, 0, 255));
}

TEST(Metafile, SavesTheFileAndCopiesThroughThePictureLoader) {
    const std::string file = makeWmf(true, 1440, 720, 1440, kRedRef);
    TMetafile metafile;
    metafile.loadFromBytes(file);
    std::ostringstream saved;
    metafile.saveToStream(saved);
    EXPECT_EQ(saved.str(), file);

    TPicture copy;
    copy.assign(&metafile);
    ASSERT_NE(copy.graphic(), nullptr);
    EXPECT_EQ(copy.width(), 96);
    expectLeftHalfRed(copy.graphic()->image());
}

TEST(Metafile, BrokenFilesFailClearlyAndKeepThePicture) {
    const QString notAMetafile = QStringLiteral("メタファイルが不正です");
    const QString cannotRead = QStringLiteral("メタファイルを読み込めません");
    EXPECT_EQ(invalidMessage(""), notAMetafile);
    EXPECT_EQ(invalidMessage("GIF89a and then some more bytes of no meaning"), notAMetafile);
    // A placeable header followed by no WMF header.
    EXPECT_EQ(invalidMessage(makeWmf(true, 10, 10, 10, 0).substr(0, 30)), notAMetafile);

    // Sound headers, records the converters refuse.
    std::string wmf = makeWmf(true, 1440, 720, 1440, kRedRef);
    wmf.replace(40, 4, "\xFF\xFF\xFF\x7F"); // the first record's size
    EXPECT_EQ(invalidMessage(wmf), cannotRead);
    EXPECT_EQ(invalidMessage(makeEmf(2540, 1270, kRedRef).substr(0, 100)), cannotRead);

    TMetafile metafile;
    metafile.loadFromBytes(makeEmf(2540, 1270, kRedRef));
    EXPECT_THROW(metafile.loadFromBytes(wmf), EInvalidGraphic);
    EXPECT_TRUE(metafile.enhanced());
    EXPECT_EQ(metafile.width(), 96);
}

TEST(Metafile, MissingConverterIsNamed) {
    TempDir emptyFolder;
    PathGuard path(QByteArray::fromStdString(emptyFolder.path()));
    EXPECT_EQ(invalidMessage(makeWmf(true, 1440, 720, 1440, kRedRef)),
              QStringLiteral("メタファイルを読み込めません (wmf2svg が見つかりません)"));
    EXPECT_EQ(invalidMessage(makeEmf(2540, 1270, kRedRef)),
              QStringLiteral("メタファイルを読み込めません (emf2svg-conv が見つかりません)"));
}

TEST(Metafile, ConverterThatMisbehavesFailsClearly) {
    const std::string wmf = makeWmf(true, 1440, 720, 1440, kRedRef);
    const char* bodies[] = {
        "echo 'no svg here' > \"$out\"", // output that is not SVG
        "kill -SEGV $$",                 // a crash
        "exit 0",                        // success without output
        "yes '<svg>' > \"$out\"",        // endless output, stopped by the file size limit
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        TempDir dir;
        const std::string bin = fakeConverter(dir, "wmf2svg", body);
        PathGuard path(QByteArray::fromStdString(bin) + ':' + qgetenv("PATH"));
        EXPECT_EQ(invalidMessage(wmf), QStringLiteral("メタファイルを読み込めません"));
    }
}

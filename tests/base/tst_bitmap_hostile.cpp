// Damaged and hostile .bmp files decode what they can or fail with the
// program's errors: never a crash, never an allocation above the limit.
#include "base/bitmap.h"
#include "base/errors.h"
#include "tests/base/picture_bytes.h"
#include "tests/spi/hostile_pictures.h"
#include "tests/support/images.h"
#include "tests/support/peak_memory.h"
#include "tests/support/temp_dir.h"

#include <QImageReader>
#include <climits>
#include <gtest/gtest.h>
#include <random>

using namespace kelvora;
using kelvora::test::bmpRows;
using kelvora::test::makeBmp;

namespace {

template <std::size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

QString invalidMessage(const std::string& file) {
    TBitmap bitmap;
    try {
        bitmap.loadFromBytes(file);
    } catch (const EInvalidGraphic& e) {
        return e.message();
    }
    return QStringLiteral("(no EInvalidGraphic)");
}

std::vector<QRgb> greys(int count) {
    std::vector<QRgb> colors;
    for (int i = 0; i < count; ++i)
        colors.push_back(qRgb(i, i, i));
    return colors;
}

const QString kInvalid = QStringLiteral("ビットマップ画像が不正です");

} // namespace

TEST(BitmapHostile, DeclaredSizeAboveTheLimitIsRefused) {
    // 16385 x 16384 is just above kMaxPicturePixels: small enough to allocate, so
    // only the limit refuses it. The file itself holds one row.
    TBitmap bitmap;
    const std::string big = makeBmp({.width = 16385,
                                     .height = 16384,
                                     .bits = 1,
                                     .palette = greys(2),
                                     .pixels = std::string(2052, '\0')});
    try {
        bitmap.loadFromBytes(big);
        FAIL() << "decoded";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.message(), QStringLiteral("画像が大きすぎます (16385 x 16384)"));
    }
    // The most negative height has no positive counterpart in 32 bits.
    EXPECT_THROW(bitmap.loadFromBytes(makeBmp(
                     {.width = 1, .height = INT_MIN, .bits = 24, .pixels = std::string(4, '\0')})),
                 EOutOfResources);
    EXPECT_TRUE(bitmap.empty());
}

TEST(BitmapHostile, QtsAllocationLimitDoesNotRefusePicturesBelowOurs) {
    // A PNG in a .bmp file goes through Qt's reader; pretend Qt's own limit is tiny.
    const int saved = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    kelvora::test::TempDir dir;
    const std::string path = kelvora::test::saveImage(kelvora::test::patternImage(1000, 600),
                                                      dir.file("big.bmp"), "png");
    TBitmap bitmap;
    EXPECT_NO_THROW(bitmap.loadFromFile(path));
    QImageReader::setAllocationLimit(saved);
    EXPECT_EQ(bitmap.width(), 1000);
    EXPECT_EQ(bitmap.height(), 600);
}

TEST(BitmapHostile, PngNamedBmpDecodesByItsContent) {
    kelvora::test::TempDir dir;
    const QImage pattern = kelvora::test::patternImage(20, 10);
    const std::string path = kelvora::test::saveImage(pattern, dir.file("photo.bmp"), "png");
    TBitmap bitmap;
    bitmap.loadFromFile(path);
    ASSERT_EQ(bitmap.qimage().size(), QSize(20, 10));
    EXPECT_EQ(bitmap.qimage().pixel(19, 9), pattern.pixel(19, 9));
    EXPECT_EQ(bitmap.qimage().pixel(3, 4), pattern.pixel(3, 4));
}

TEST(BitmapHostile, FilesDeclaringFarMoreThanTheyHoldCostNothing) {
    // Qt's readers take any of these by content (a picture under another name): a
    // PNG chunk or a GIF screen the file cannot hold must not be allocated first.
    for (const kelvora::test::HostilePicture& h : kelvora::test::hostilePictures()) {
        SCOPED_TRACE(h.name);
        const kelvora::test::PeakMemory peak;
        EXPECT_EQ(invalidMessage(h.bytes), kInvalid);
        EXPECT_LT(peak.grown(), 64L << 20);
    }
}

TEST(BitmapHostile, EmptyJunkAndTruncatedHeadersFailClearly) {
    EXPECT_EQ(invalidMessage(""), kInvalid);
    std::mt19937 random(7);
    std::string junk(500, '\0');
    for (char& c : junk)
        c = static_cast<char>(random());
    junk[0] = 'x';
    EXPECT_EQ(invalidMessage(junk), kInvalid);

    const std::string good =
        makeBmp({.width = 2, .height = 2, .bits = 24, .pixels = std::string(16, '\x7F')});
    EXPECT_EQ(invalidMessage(good.substr(0, 2)), kInvalid);  // signature only
    EXPECT_EQ(invalidMessage(good.substr(0, 30)), kInvalid); // inside the info header
    EXPECT_EQ(invalidMessage(good.substr(0, 54)), kInvalid); // no pixel data
    EXPECT_EQ(invalidMessage(good.substr(0, 60)), kInvalid); // less than one row
    // Unknown compression, bit fields on 8 bits, a zero width.
    EXPECT_EQ(invalidMessage(makeBmp({.width = 1,
                                      .height = 1,
                                      .bits = 24,
                                      .compression = 9,
                                      .pixels = std::string(4, '\0')})),
              kInvalid);
    EXPECT_EQ(invalidMessage(makeBmp({.width = 1,
                                      .height = 1,
                                      .bits = 8,
                                      .compression = 3,
                                      .masks = {1, 2, 4},
                                      .pixels = std::string(4, '\0')})),
              kInvalid);
    EXPECT_EQ(invalidMessage(
                  makeBmp({.width = 0, .height = 1, .bits = 24, .pixels = std::string(4, '\0')})),
              kInvalid);
}

TEST(BitmapHostile, FileCutShortKeepsTheRowsItHas) {
    // Four rows declared, two and a half stored: the bottom two decode, the rest is black.
    const std::string row(12, '\x40');
    std::string file =
        makeBmp({.width = 4, .height = 4, .bits = 24, .pixels = row + row + "\x40\x40"});
    TBitmap bitmap;
    bitmap.loadFromBytes(file);
    ASSERT_EQ(bitmap.qimage().size(), QSize(4, 4));
    EXPECT_EQ(bitmap.qimage().pixel(0, 3), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(bitmap.qimage().pixel(3, 2), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(bitmap.qimage().pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.qimage().pixel(0, 0), qRgb(0, 0, 0));
}

TEST(BitmapHostile, BadRunLengthDataStaysInsideThePicture) {
    const std::string data = bytes("\x09\x01"         // a run longer than the row
                                   "\x00\x02\x0A\x00" // a move past the row's end
                                   "\x05\x02"         // pixels there are dropped
                                   "\x00\x00"         // next row
                                   "\x00\x05\x03\x03" // five literal pixels, two present
    );
    TBitmap bitmap;
    bitmap.loadFromBytes(makeBmp({.width = 4,
                                  .height = 2,
                                  .bits = 8,
                                  .compression = 1,
                                  .palette = greys(4),
                                  .pixels = data}));
    const int expected[2][4] = {{3, 3, 0, 0}, {1, 1, 1, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap.qimage().pixelIndex(x, y), expected[y][x]) << x << "," << y;

    // A move above the last row ends the picture; so does a move cut short.
    for (const std::string& end :
         {bytes("\x01\x02\x00\x02\x00\xFF\x01\x03"), bytes("\x01\x02\x00\x02\x01")}) {
        bitmap.loadFromBytes(makeBmp({.width = 2,
                                      .height = 2,
                                      .bits = 8,
                                      .compression = 1,
                                      .palette = greys(4),
                                      .pixels = end}));
        EXPECT_EQ(bitmap.qimage().pixelIndex(0, 1), 2);
        EXPECT_EQ(bitmap.qimage().pixelIndex(1, 1), 0);
        EXPECT_EQ(bitmap.qimage().pixelIndex(0, 0), 0);
    }
}

TEST(BitmapHostile, MutatedFilesDecodeOrFailWithOurErrors) {
    const std::vector<std::string> seeds = {
        makeBmp({.width = 6,
                 .height = 3,
                 .bits = 8,
                 .compression = 1,
                 .palette = greys(10),
                 .pixels = bytes("\x03\x05\x00\x03\x07\x08\x09\x00\x00\x00\x02\x04\x00\x01")}),
        makeBmp({.width = 5,
                 .height = 2,
                 .bits = 4,
                 .compression = 2,
                 .palette = greys(16),
                 .pixels = bytes("\x05\x12\x00\x00\x00\x03\x34\x50\x00\x01")}),
        makeBmp({.width = 3,
                 .height = 2,
                 .bits = 16,
                 .compression = 3,
                 .masks = {0xF800, 0x07E0, 0x001F},
                 .pixels = bmpRows({"abcdef", "ghijkl"})}),
        makeBmp({.headerSize = 12,
                 .width = 3,
                 .height = 2,
                 .bits = 4,
                 .palette = greys(16),
                 .pixels = bmpRows({"\x12\x30", "\x45\x60"})}),
    };
    std::mt19937 random(12345);
    int decoded = 0;
    for (const std::string& seed : seeds) {
        for (int round = 0; round < 400; ++round) {
            std::string file = seed;
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i)
                file[random() % file.size()] = static_cast<char>(random());
            if (round % 5 == 0)
                file.resize(random() % file.size());
            TBitmap bitmap;
            try {
                bitmap.loadFromBytes(file);
                ++decoded;
                EXPECT_FALSE(bitmap.empty());
            } catch (const kelvora::Exception&) {
                EXPECT_TRUE(bitmap.empty());
            }
        }
    }
    EXPECT_GT(decoded, 0); // the mutations are not all fatal, so the decoders did run
}

// Bitmap files of every common layout, written by hand, decode to the right
// pixels and pixel format; saved bitmaps are valid files for another reader.
#include "base/bitmap.h"
#include "tests/base/picture_bytes.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

using namespace kelvora;
using kelvora::test::BmpLayout;
using kelvora::test::bmpRows;
using kelvora::test::makeBmp;

namespace {

std::unique_ptr<TBitmap> decode(const std::string& bytes) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->loadFromBytes(bytes);
    return bitmap;
}

// Blue, green, red bytes of a colour, as 24- and 32-bit pixels store them.
std::string bgr(QRgb c) {
    return {static_cast<char>(qBlue(c)), static_cast<char>(qGreen(c)), static_cast<char>(qRed(c))};
}
std::string bgra(QRgb c) {
    return bgr(c) + static_cast<char>(qAlpha(c));
}

std::vector<QRgb> sixteenColors() {
    std::vector<QRgb> colors;
    for (int i = 0; i < 16; ++i)
        colors.push_back(qRgb(i * 16, 255 - i * 16, i));
    return colors;
}

// A byte string literal that may hold NUL bytes.
template <std::size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kNavy = qRgb(0, 0, 128);
const QRgb kWhite = qRgb(255, 255, 255);

} // namespace

TEST(BitmapDecode, OneBitUsesTheFilesPaletteNotBlackAndWhite) {
    // Width 10: two bytes a row, padded to four; index 0 is white here.
    auto bmp = decode(makeBmp({.width = 10,
                               .height = 2,
                               .bits = 1,
                               .palette = {kWhite, kNavy},
                               .pixels = bmpRows({"\xB0\x40", "\xFF\xC0"})}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(bmp->qimage().format(), QImage::Format_Mono);
    ASSERT_EQ(bmp->qimage().size(), QSize(10, 2));
    EXPECT_EQ(bmp->qimage().pixel(0, 0), kNavy);
    EXPECT_EQ(bmp->qimage().pixel(1, 0), kWhite);
    EXPECT_EQ(bmp->qimage().pixel(8, 0), kWhite);
    EXPECT_EQ(bmp->qimage().pixel(9, 0), kNavy);
    EXPECT_EQ(bmp->qimage().pixel(5, 1), kNavy);
}

TEST(BitmapDecode, FourBitHighNibbleFirst) {
    auto bmp = decode(makeBmp({.width = 3,
                               .height = 2,
                               .bits = 4,
                               .palette = sixteenColors(),
                               .pixels = bmpRows({"\x12\x30", "\xAF\x50"})}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(bmp->qimage().colorCount(), 16);
    const int expected[2][3] = {{1, 2, 3}, {10, 15, 5}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(bmp->qimage().pixel(x, y), sixteenColors()[expected[y][x]]) << x << "," << y;
}

TEST(BitmapDecode, EightBitWithShortPaletteStaysEightBit) {
    // Three colours used: still an 8-bit file. Index 7 is outside the palette: black.
    auto bmp = decode(makeBmp({.width = 5,
                               .height = 2,
                               .bits = 8,
                               .palette = {kRed, kGreen, kBlue},
                               .colorsUsed = 3,
                               .pixels = bmpRows({bytes("\0\1\2\1\0"), "\2\2\2\2\7"})}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), kRed);
    EXPECT_EQ(bmp->qimage().pixel(2, 0), kBlue);
    EXPECT_EQ(bmp->qimage().pixel(3, 0), kGreen);
    EXPECT_EQ(bmp->qimage().pixel(0, 1), kBlue);
    EXPECT_EQ(bmp->qimage().pixel(4, 1), qRgb(0, 0, 0));
}

TEST(BitmapDecode, RunLengthEightWithEscapes) {
    std::vector<QRgb> palette(10);
    for (int i = 0; i < 10; ++i)
        palette[i] = qRgb(i * 20, 0, 0);
    const std::string data = bytes("\x03\x05"                 // bottom row: three 5s
                                   "\x00\x03\x07\x08\x09\x00" // three literal pixels, padded
                                   "\x00\x00"                 // end of line
                                   "\x02\x04\x00\x00"         // middle row: two 4s
                                   "\x00\x02\x03\x00"         // move right 3 on the top row
                                   "\x02\x06\x00\x01");       // two 6s, end of picture
    auto bmp = decode(makeBmp({.width = 6,
                               .height = 3,
                               .bits = 8,
                               .compression = 1,
                               .palette = palette,
                               .pixels = data}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf8bit);
    const int expected[3][6] = {{0, 0, 0, 6, 6, 0}, {4, 4, 0, 0, 0, 0}, {5, 5, 5, 7, 8, 9}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(bmp->qimage().pixelIndex(x, y), expected[y][x]) << x << "," << y;
}

TEST(BitmapDecode, RunLengthFour) {
    const std::string data = bytes("\x05\x12\x00\x00"         // bottom row: 1 2 1 2 1
                                   "\x00\x03\x34\x50\x02\xAB" // top row: literal 3 4 5, then a b
                                   "\x00\x01");
    auto bmp = decode(makeBmp({.width = 5,
                               .height = 2,
                               .bits = 4,
                               .compression = 2,
                               .palette = sixteenColors(),
                               .pixels = data}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf4bit);
    const int expected[2][5] = {{3, 4, 5, 10, 11}, {1, 2, 1, 2, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bmp->qimage().pixelIndex(x, y), expected[y][x]) << x << "," << y;
}

TEST(BitmapDecode, SixteenBitDefaultsTo555) {
    auto bmp = decode(makeBmp(
        {.width = 2, .height = 1, .bits = 16, .pixels = bmpRows({bytes("\x00\x7C\x1F\x02")})}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(bmp->qimage().format(), QImage::Format_BGR888);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), kRed);
    EXPECT_EQ(bmp->qimage().pixel(1, 0), qRgb(0, 132, 255)); // green 16 of 31
}

TEST(BitmapDecode, SixteenBit565BitFields) {
    auto bmp = decode(makeBmp({.width = 2,
                               .height = 1,
                               .bits = 16,
                               .compression = 3,
                               .masks = {0xF800, 0x07E0, 0x001F},
                               .pixels = bmpRows({bytes("\xE0\x07\x08\x84")})}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), kGreen);
    EXPECT_EQ(bmp->qimage().pixel(1, 0), qRgb(132, 130, 66)); // 16/31, 32/63, 8/31
}

TEST(BitmapDecode, TwentyFourBitBottomUpAndTopDown) {
    const QRgb top[3] = {kRed, kGreen, kBlue};
    const QRgb bottom[3] = {kWhite, qRgb(0, 0, 0), qRgb(1, 2, 3)};
    const std::vector<std::string> rows = {bgr(top[0]) + bgr(top[1]) + bgr(top[2]),
                                           bgr(bottom[0]) + bgr(bottom[1]) + bgr(bottom[2])};
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        auto bmp = decode(makeBmp({.width = 3,
                                   .height = topDown ? -2 : 2,
                                   .bits = 24,
                                   .pixels = bmpRows(rows, topDown)}));
        EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(bmp->qimage().format(), QImage::Format_BGR888);
        ASSERT_EQ(bmp->qimage().size(), QSize(3, 2));
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(bmp->qimage().pixel(x, 0), top[x]);
            EXPECT_EQ(bmp->qimage().pixel(x, 1), bottom[x]);
        }
    }
}

TEST(BitmapDecode, ThirtyTwoBitWithoutAlphaIgnoresTheFourthByte) {
    auto bmp = decode(makeBmp({.width = 2,
                               .height = 1,
                               .bits = 32,
                               .pixels = bgr(kRed) + '\x7F' + bgr(qRgb(1, 2, 3)) + '\x00'}));
    EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(bmp->qimage().format(), QImage::Format_RGB32);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), kRed);
    EXPECT_EQ(bmp->qimage().pixel(1, 0), qRgb(1, 2, 3));
}

TEST(BitmapDecode, ThirtyTwoBitAlphaFromV5HeaderOrAlphaBitFields) {
    const std::vector<std::uint32_t> masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const std::string pixels = bgra(qRgba(255, 0, 0, 128)) + bgra(qRgba(0, 0, 255, 255));
    for (BmpLayout layout : {BmpLayout{.headerSize = 124, .compression = 3},
                             BmpLayout{.headerSize = 40, .compression = 6}}) {
        SCOPED_TRACE(layout.headerSize);
        layout.width = 2;
        layout.height = 1;
        layout.bits = 32;
        layout.masks = masks;
        layout.pixels = pixels;
        auto bmp = decode(makeBmp(layout));
        EXPECT_EQ(bmp->pixelFormat(), TPixelFormat::pf32bit);
        EXPECT_EQ(bmp->qimage().format(), QImage::Format_ARGB32);
        EXPECT_EQ(bmp->qimage().pixel(0, 0), qRgba(255, 0, 0, 128));
        EXPECT_EQ(bmp->qimage().pixel(1, 0), qRgba(0, 0, 255, 255));
    }
}

TEST(BitmapDecode, ThirtyTwoBitFieldsHonourTheMasks) {
    // Red in the low byte, blue in the third: the reverse of the usual order.
    auto bmp = decode(makeBmp({.width = 1,
                               .height = 1,
                               .bits = 32,
                               .compression = 3,
                               .masks = {0x000000FF, 0x0000FF00, 0x00FF0000},
                               .pixels = bytes("\x0A\x14\x1E\x00")}));
    EXPECT_EQ(bmp->qimage().format(), QImage::Format_RGB32);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), qRgb(10, 20, 30));
}

TEST(BitmapDecode, AlphaChannelThatIsZeroEverywhereMeansOpaque) {
    auto bmp = decode(makeBmp({.headerSize = 108,
                               .width = 2,
                               .height = 1,
                               .bits = 32,
                               .compression = 3,
                               .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                               .pixels = bgra(qRgba(10, 20, 30, 0)) + bgra(qRgba(1, 2, 3, 0))}));
    EXPECT_EQ(bmp->qimage().format(), QImage::Format_RGB32);
    EXPECT_EQ(bmp->qimage().pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(bmp->qimage().pixel(1, 0), qRgb(1, 2, 3));
}

TEST(BitmapDecode, OtherHeaderVersions) {
    struct Case {
        const char* name;
        BmpLayout layout;
        QRgb expected;
    };
    const Case cases[] = {
        // OS/2 1.x: 16-bit sizes, three-byte palette entries.
        {"core 8 bit",
         {.headerSize = 12,
          .width = 2,
          .height = 1,
          .bits = 8,
          .palette = {kRed, kGreen, kBlue},
          .pixels = bmpRows({bytes("\x02\x00")})},
         kBlue},
        {"core 24 bit",
         {.headerSize = 12,
          .width = 1,
          .height = 1,
          .bits = 24,
          .pixels = bmpRows({bgr(qRgb(9, 8, 7))})},
         qRgb(9, 8, 7)},
        // OS/2 2.x: the full 64 bytes, and a header cut after the bit count.
        {"os2 64",
         {.headerSize = 64,
          .width = 2,
          .height = 1,
          .bits = 4,
          .palette = sixteenColors(),
          .pixels = bmpRows({"\x9F"})},
         sixteenColors()[9]},
        {"os2 16",
         {.headerSize = 16,
          .width = 1,
          .height = 1,
          .bits = 8,
          .palette = {kRed, kGreen},
          .pixels = bmpRows({"\x01"})},
         kGreen},
        {"v4 24 bit",
         {.headerSize = 108,
          .width = 1,
          .height = 1,
          .bits = 24,
          .pixels = bmpRows({bgr(qRgb(40, 50, 60))})},
         qRgb(40, 50, 60)},
        {"v5 8 bit",
         {.headerSize = 124,
          .width = 1,
          .height = 1,
          .bits = 8,
          .palette = {kRed, kNavy},
          .colorsUsed = 2,
          .pixels = bmpRows({"\x01"})},
         kNavy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bmp = decode(makeBmp(c.layout));
        EXPECT_EQ(bmp->width(), c.layout.width);
        EXPECT_EQ(bmp->qimage().pixel(0, 0), c.expected);
    }
}

TEST(BitmapSave, WritesTheDepthOfThePixelFormatReadableByAnotherReader) {
    const std::vector<std::string> rows = {bgr(kRed) + bgr(kGreen) + bgr(kBlue),
                                           bgr(kWhite) + bgr(kNavy) + bgr(qRgb(1, 2, 3))};
    const std::string sources[] = {
        makeBmp({.width = 3,
                 .height = 2,
                 .bits = 1,
                 .palette = {kWhite, kNavy},
                 .pixels = bmpRows({"\xA0", "\x40"})}),
        makeBmp({.width = 3,
                 .height = 2,
                 .bits = 4,
                 .palette = sixteenColors(),
                 .pixels = bmpRows({"\x12\x30", "\xAF\x50"})}),
        makeBmp({.width = 3,
                 .height = 2,
                 .bits = 8,
                 .palette = {kRed, kGreen, kBlue},
                 .colorsUsed = 3,
                 .pixels = bmpRows({bytes("\x00\x01\x02"), bytes("\x02\x01\x00")})}),
        makeBmp({.width = 3, .height = 2, .bits = 24, .pixels = bmpRows(rows)}),
        makeBmp({.width = 3,
                 .height = 1,
                 .bits = 32,
                 .pixels = bgra(kRed) + bgra(kGreen) + bgra(kBlue)}),
        makeBmp({.headerSize = 124,
                 .width = 2,
                 .height = 1,
                 .bits = 32,
                 .compression = 3,
                 .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                 .pixels = bgra(qRgba(255, 0, 0, 128)) + bgra(qRgba(0, 0, 255, 255))}),
    };
    for (const std::string& source : sources) {
        auto original = decode(source);
        SCOPED_TRACE(static_cast<int>(original->pixelFormat()));
        std::ostringstream out;
        original->saveToStream(out);
        const std::string saved = out.str();

        auto reloaded = decode(saved);
        EXPECT_EQ(reloaded->pixelFormat(), original->pixelFormat());
        QImage independent = QImage::fromData(reinterpret_cast<const uchar*>(saved.data()),
                                              static_cast<int>(saved.size()), "bmp");
        ASSERT_FALSE(independent.isNull()) << "Qt's reader refuses the file";
        ASSERT_EQ(independent.size(), original->qimage().size());
        for (int y = 0; y < independent.height(); ++y)
            for (int x = 0; x < independent.width(); ++x) {
                EXPECT_EQ(reloaded->qimage().pixel(x, y), original->qimage().pixel(x, y));
                EXPECT_EQ(independent.pixel(x, y), original->qimage().pixel(x, y));
            }
    }
}

TEST(BitmapSave, SixteenBitPicturesAreWrittenWithTwentyFourBits) {
    auto original = decode(
        makeBmp({.width = 1, .height = 1, .bits = 16, .pixels = bmpRows({bytes("\x1F\x02")})}));
    std::ostringstream out;
    original->saveToStream(out);
    auto reloaded = decode(out.str());
    EXPECT_EQ(reloaded->pixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(reloaded->qimage().pixel(0, 0), original->qimage().pixel(0, 0));
}

TEST(BitmapSave, EmptyBitmapWritesNothing) {
    TBitmap empty;
    std::ostringstream out;
    empty.saveToStream(out);
    EXPECT_TRUE(out.str().empty());
}

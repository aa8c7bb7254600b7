// Icons: the largest, deepest entry is the picture, bitmap and PNG entries
// alike; entries the file cannot hold are passed over.
#include "base/errors.h"
#include "base/icon.h"
#include "tests/base/picture_bytes.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <gtest/gtest.h>
#include <sstream>

using namespace kelvora;
using kelvora::test::IconBitmap;
using kelvora::test::iconBitmapEntry;
using kelvora::test::makeIco;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);

// A square entry in one colour: a palette of that colour for 4 and 8 bits,
// the colour itself for 24 and 32. The top-left pixel is transparent.
std::string solidEntry(int side, int bits, QRgb color) {
    IconBitmap bitmap{side, side, bits, {}, {}, {}};
    if (bits <= 8)
        bitmap.palette = {color};
    const int pixelBytes = bits <= 8 ? (side * bits + 7) / 8 : side * bits / 8;
    std::string pixel = {static_cast<char>(qBlue(color)), static_cast<char>(qGreen(color)),
                         static_cast<char>(qRed(color))};
    if (bits == 32)
        pixel += '\xFF';
    for (int y = 0; y < side; ++y) {
        std::string row;
        if (bits <= 8)
            row.assign(pixelBytes, '\0');
        else
            for (int x = 0; x < side; ++x)
                row += (x == 0 && y == 0 && bits == 32) ? std::string(4, '\0') : pixel;
        bitmap.rows.push_back(row);
        std::string mask((side + 7) / 8, '\0');
        if (y == 0)
            mask[0] = '\x80';
        bitmap.maskRows.push_back(mask);
    }
    return iconBitmapEntry(bitmap);
}

std::string pngOf(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return data.toStdString();
}

QString invalidMessage(const std::string& file) {
    TIcon icon;
    try {
        icon.loadFromBytes(file);
    } catch (const EInvalidGraphic& e) {
        return e.message();
    }
    return QStringLiteral("(no EInvalidGraphic)");
}

} // namespace

TEST(Icon, QtHasAnIcoReader) {
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("ico"));
}

TEST(Icon, LargestThenDeepestEntryIsThePicture) {
    const std::string file = makeIco({{16, 16, 8, solidEntry(16, 8, kGreen)},
                                      {32, 32, 32, solidEntry(32, 32, kRed)},
                                      {32, 32, 4, solidEntry(32, 4, kBlue)}});
    TIcon icon;
    icon.loadFromBytes(file);
    EXPECT_EQ(icon.width(), 32);
    EXPECT_EQ(icon.height(), 32);
    const QImage image = icon.image();
    EXPECT_EQ(image.format(), QImage::Format_ARGB32);
    EXPECT_EQ(image.pixel(10, 20), kRed);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0); // the mask and the alpha channel agree

    std::ostringstream saved;
    icon.saveToStream(saved);
    EXPECT_EQ(saved.str(), file);
}

TEST(Icon, PngEntry) {
    QImage png(48, 40, QImage::Format_ARGB32);
    png.fill(kBlue);
    const std::string file =
        makeIco({{16, 16, 24, solidEntry(16, 24, kGreen)}, {48, 40, 32, pngOf(png)}});
    TIcon icon;
    icon.loadFromBytes(file);
    EXPECT_EQ(icon.width(), 48);
    EXPECT_EQ(icon.height(), 40);
    EXPECT_EQ(icon.image().pixel(47, 39), kBlue);
}

TEST(Icon, EntryLengthPastTheEndOfTheFileIsCutToIt) {
    QImage png(5, 3, QImage::Format_ARGB32);
    png.fill(kGreen);
    std::string file = makeIco({{5, 3, 32, pngOf(png)}});
    file.replace(14, 4, "\xF0\xFF\xFF\x7F"); // the entry's length: 2 GiB
    TIcon icon;
    icon.loadFromBytes(file);
    EXPECT_EQ(icon.width(), 5);
    EXPECT_EQ(icon.image().pixel(4, 2), kGreen);
}

TEST(Icon, EntriesTheFileCannotHoldArePassedOver) {
    const std::string small = solidEntry(16, 8, kGreen);
    // A 64 x 64 entry beyond the end of the file, and one whose pixels are cut off.
    const std::string cut = solidEntry(48, 32, kRed).substr(0, 200);
    const std::string file =
        makeIco({{64, 64, 32, small, 100000u}, {48, 48, 32, cut}, {16, 16, 8, small}});
    TIcon icon;
    icon.loadFromBytes(file);
    EXPECT_EQ(icon.width(), 16);
    EXPECT_EQ(icon.image().pixel(8, 8), kGreen);
}

TEST(Icon, BrokenFilesFailClearlyAndKeepThePicture) {
    const QString invalid = QStringLiteral("アイコン画像が不正です");
    EXPECT_EQ(invalidMessage(""), invalid);
    EXPECT_EQ(invalidMessage(std::string("\0\0\1\0\0\0", 6)), invalid); // no entries
    EXPECT_EQ(invalidMessage(std::string("\0\0\1\0\1\0", 6)), invalid); // directory cut off
    EXPECT_EQ(invalidMessage(makeIco({{16, 16, 8, "not a picture, not at all long enough"}})),
              invalid);
    const std::string good = makeIco({{16, 16, 8, solidEntry(16, 8, kGreen)}});
    EXPECT_EQ(invalidMessage(good.substr(0, good.size() - 100)), invalid);

    TIcon icon;
    icon.loadFromBytes(good);
    EXPECT_THROW(icon.loadFromBytes("junk"), EInvalidGraphic);
    EXPECT_EQ(icon.width(), 16);
}

TEST(Icon, DrawsStretched) {
    TIcon icon;
    icon.loadFromBytes(makeIco({{16, 16, 8, solidEntry(16, 8, kGreen)}}));
    QImage canvas(64, 64, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    icon.draw(painter, QRect(0, 0, 64, 64));
    painter.end();
    EXPECT_EQ(canvas.pixel(60, 60), kGreen);
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(255, 255, 255)); // the transparent corner, four times as big
}

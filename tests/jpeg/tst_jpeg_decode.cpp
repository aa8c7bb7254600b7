// Decompression: header-only loading, output layouts, damaged and hostile input.
#include "base/errors.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_image.h"
#include "tests/jpeg/jpeg_samples.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QColor>
#include <QPainter>
#include <gtest/gtest.h>

namespace kelvora {
namespace {
using namespace kelvora::test;

bool isGreyPalette(const QList<QRgb>& palette) {
    if (palette.size() != 256)
        return false;
    for (int i = 0; i < 256; ++i)
        if (palette[i] != qRgb(i, i, i))
            return false;
    return true;
}

TEST(JpegDecode, LoadingReadsTheHeaderAndDrawingDecodes) {
    TempDir dir;
    const std::string path = saveImage(patternImage(120, 80), dir.file("p.jpg"), "jpg", 90);
    TJPEGImage jpeg;
    jpeg.loadFromFile(path);
    EXPECT_FALSE(jpeg.hasBitmap());
    EXPECT_EQ(jpeg.width(), 120);
    EXPECT_EQ(jpeg.height(), 80);
    EXPECT_FALSE(jpeg.empty());
    EXPECT_FALSE(jpeg.data()->grayscale);
    EXPECT_FALSE(jpeg.data()->progressive);

    QImage canvas(60, 40, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    jpeg.draw(painter, canvas.rect());
    painter.end();
    ASSERT_TRUE(jpeg.hasBitmap());
    EXPECT_EQ(jpeg.image().size(), QSize(120, 80));
    EXPECT_EQ(jpeg.image().format(), QImage::Format_BGR888);
    // Stretched into the canvas: red grows to the right as in the pattern.
    EXPECT_GT(canvas.pixelColor(58, 20).red(), 200);
    EXPECT_LT(canvas.pixelColor(1, 20).red(), 40);
}

TEST(JpegDecode, GreyscaleGivesEightBitsWithAGreyPalette) {
    QImage grey(50, 30, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = static_cast<uchar>(x * 5);
    TJPEGImage fromGreyFile;
    fromGreyFile.loadFromBytes(encodeWithQt(grey, 95));
    EXPECT_TRUE(fromGreyFile.data()->grayscale);
    EXPECT_TRUE(fromGreyFile.grayscale());
    const QImage decoded = fromGreyFile.image();
    EXPECT_EQ(decoded.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(isGreyPalette(decoded.colorTable()));
    EXPECT_LT(meanAbsError(decoded, grey), 3.0);
    EXPECT_EQ(fromGreyFile.bitmap()->pixelFormat(), TPixelFormat::pf8bit);

    // The grey-scale setting turns a colour file grey as well.
    TJPEGImage colourAsGrey;
    colourAsGrey.setGrayscale(true);
    colourAsGrey.loadFromBytes(encodeWithQt(patternImage(50, 30), 95));
    EXPECT_FALSE(colourAsGrey.data()->grayscale);
    const QImage greyed = colourAsGrey.image();
    EXPECT_EQ(greyed.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(isGreyPalette(greyed.colorTable()));
}

TEST(JpegDecode, EightBitPixelFormatQuantisesTo236Colours) {
    const std::string bytes = encodeWithQt(patternImage(64, 48), 95);
    TJPEGImage full;
    full.loadFromBytes(bytes);
    for (TJPEGPerformance performance :
         {TJPEGPerformance::jpBestQuality, TJPEGPerformance::jpBestSpeed}) {
        SCOPED_TRACE(static_cast<int>(performance));
        TJPEGImage jpeg;
        jpeg.setPixelFormat(TJPEGPixelFormat::jf8Bit);
        jpeg.setPerformance(performance);
        jpeg.loadFromBytes(bytes);
        const QImage decoded = jpeg.image();
        EXPECT_EQ(decoded.format(), QImage::Format_Indexed8);
        EXPECT_GT(decoded.colorCount(), 16);
        EXPECT_LE(decoded.colorCount(), 236);
        EXPECT_LT(meanAbsError(decoded, full.image()), 30.0);
    }
}

TEST(JpegDecode, BestSpeedStaysCloseToBestQuality) {
    const std::string bytes = encodeWithQt(patternImage(64, 48), 90);
    TJPEGImage quality, speed;
    speed.setPerformance(TJPEGPerformance::jpBestSpeed);
    quality.loadFromBytes(bytes);
    speed.loadFromBytes(bytes);
    EXPECT_LT(meanAbsError(quality.image(), speed.image()), 3.0);
}

TEST(JpegDecode, ScaleGivesTheCodecsSizeBeforeAndAfterDecoding) {
    const std::string bytes = encodeWithQt(patternImage(101, 51), 90);
    const struct {
        TJPEGScale scale;
        QSize size;
    } cases[] = {{TJPEGScale::jsFullSize, {101, 51}},
                 {TJPEGScale::jsHalf, {51, 26}},
                 {TJPEGScale::jsQuarter, {26, 13}},
                 {TJPEGScale::jsEighth, {13, 7}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.scale));
        TJPEGImage jpeg;
        jpeg.setScale(c.scale);
        jpeg.loadFromBytes(bytes);
        EXPECT_EQ(QSize(jpeg.width(), jpeg.height()), c.size);
        EXPECT_EQ(jpeg.image().size(), c.size);
        EXPECT_EQ(QSize(jpeg.width(), jpeg.height()), c.size);
    }
}

TEST(JpegDecode, CmykIsConvertedToColour) {
    for (bool adobe : {true, false}) {
        SCOPED_TRACE(adobe);
        TJPEGImage jpeg;
        jpeg.loadFromBytes(cmykJpeg(16, 16, 0, 255, 255, 0, adobe)); // red ink-wise
        const QImage decoded = jpeg.image();
        ASSERT_EQ(decoded.format(), QImage::Format_BGR888);
        const QColor c = decoded.pixelColor(8, 8);
        EXPECT_GT(c.red(), 240);
        EXPECT_LT(c.green(), 15);
        EXPECT_LT(c.blue(), 15);

        TJPEGImage grey;
        grey.setGrayscale(true);
        grey.loadFromBytes(cmykJpeg(16, 16, 0, 255, 255, 0, adobe));
        const QImage greyed = grey.image();
        ASSERT_EQ(greyed.format(), QImage::Format_Indexed8);
        EXPECT_NEAR(greyed.pixelIndex(8, 8), 77, 4); // luminance of red
    }
}

TEST(JpegDecode, FourBytePixelsAreTheSameColoursWithOpaqueAlpha) {
    const std::string inputs[] = {encodeWithQt(patternImage(40, 30), 90),
                                  cmykJpeg(16, 16, 0, 255, 255, 0, true)};
    for (const std::string& bytes : inputs) {
        JpegDecodeSettings settings;
        settings.scale = TJPEGScale::jsHalf;
        const QImage three = JpegDecoder(bytes, settings).decode();
        settings.fourBytePixels = true;
        const QImage four = JpegDecoder(bytes, settings).decode();
        ASSERT_EQ(four.format(), QImage::Format_RGB32);
        EXPECT_EQ(four, three.convertToFormat(QImage::Format_RGB32));
        for (int y = 0; y < four.height(); ++y)
            for (int x = 0; x < four.width(); ++x)
                ASSERT_EQ(four.constScanLine(y)[4 * x + 3], 255) << x << "," << y;
    }
}

TEST(JpegDecode, FileCutShortDecodesToFullSize) {
    const QImage picture = patternImage(256, 256);
    const std::string whole = encodeWithQt(picture, 90);
    const Marker sos = headerMarkers(whole).back();
    ASSERT_EQ(sos.code, 0xDA);
    const std::size_t scanStart = sos.offset + 2 + sos.length;
    const std::string cut = whole.substr(0, scanStart + (whole.size() - scanStart) / 4);

    TempDir dir;
    TJPEGImage jpeg;
    jpeg.loadFromFile(dir.write("cut.jpg", cut));
    const QImage decoded = jpeg.image();
    ASSERT_EQ(decoded.size(), QSize(256, 256));
    // The top comes from the data, as from the whole file; the bottom rows were not in the file.
    TJPEGImage full;
    full.loadFromBytes(whole);
    EXPECT_EQ(decoded.copy(0, 0, 256, 32), full.image().copy(0, 0, 256, 32));
    const QRgb first = decoded.pixel(0, 255);
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(decoded.pixel(x, 255), first) << x;
}

TEST(JpegDecode, EmptyFileLoadsAndFailsWhenFirstDrawn) {
    TempDir dir;
    TJPEGImage jpeg;
    jpeg.loadFromFile(dir.write("empty.jpg", ""));
    EXPECT_TRUE(jpeg.empty());
    EXPECT_EQ(jpeg.width(), 0);
    QImage canvas(10, 10, QImage::Format_RGB32);
    QPainter painter(&canvas);
    try {
        jpeg.draw(painter, canvas.rect());
        FAIL() << "drawing zero bytes must fail";
    } catch (const EJPEG& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("JPEG エラー #"))) << e.what();
    }
    EXPECT_THROW(jpeg.image(), EJPEG);
    EXPECT_FALSE(jpeg.hasBitmap());
}

TEST(JpegDecode, NeverLoadedObjectDrawsNothing) {
    TJPEGImage jpeg;
    EXPECT_TRUE(jpeg.empty());
    EXPECT_TRUE(jpeg.image().isNull());
}

TEST(JpegDecode, GarbageIsRefusedAndThePictureBeforeStays) {
    TJPEGImage jpeg;
    jpeg.loadFromBytes(encodeWithQt(patternImage(20, 10)));
    try {
        jpeg.loadFromBytes("GIF89a this is not a JPEG stream at all");
        FAIL() << "garbage must not load";
    } catch (const EJPEG& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("JPEG エラー #"))) << e.what();
    }
    EXPECT_EQ(jpeg.width(), 20);
    EXPECT_EQ(jpeg.image().size(), QSize(20, 10));
}

TEST(JpegDecode, OversizedHeaderIsRefusedBeforeAllocating) {
    const std::string bytes = withFrameSize(encodeWithQt(patternImage(64, 64)), 65500, 65500);
    TJPEGImage jpeg;
    jpeg.loadFromBytes(bytes);
    EXPECT_EQ(jpeg.width(), 65500);
    EXPECT_EQ(jpeg.height(), 65500);
    try {
        jpeg.image();
        FAIL() << "a 4 gigapixel picture must be refused";
    } catch (const EOutOfResources& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("65500"))) << e.what();
    }
    EXPECT_FALSE(jpeg.hasBitmap());
}

TEST(JpegDecode, TooManyScansAreRefused) {
    const std::string bytes = manyScanJpeg(16, 16, kJpegMaxScans);
    TJPEGImage jpeg;
    jpeg.loadFromBytes(bytes);
    EXPECT_TRUE(jpeg.data()->progressive);
    try {
        jpeg.image();
        FAIL() << "more than kJpegMaxScans scans must be refused";
    } catch (const EJPEG& e) {
        EXPECT_TRUE(e.message().contains(QString::number(kJpegMaxScans))) << e.what();
    }
}

} // namespace
} // namespace kelvora

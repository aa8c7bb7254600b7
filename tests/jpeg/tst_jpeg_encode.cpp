// Compression: the stream we write, the quality byte, the pixel layouts we read.
#include "base/bitmap.h"
#include "base/errors.h"
#include "jpeg/jpeg_encode.h"
#include "jpeg/jpeg_image.h"
#include "tests/jpeg/jpeg_samples.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QColor>
#include <gtest/gtest.h>

namespace kelvora {
namespace {
using namespace kelvora::test;

QImage filled(int w, int h, QImage::Format format, QColor colour) {
    QImage image(w, h, format);
    image.fill(colour);
    return image;
}

TPixelFormat pixelFormatLabel(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Indexed8:
        return TPixelFormat::pf8bit;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return TPixelFormat::pf32bit;
    case QImage::Format_RGB16:
        return TPixelFormat::pf16bit;
    default:
        return TPixelFormat::pf24bit;
    }
}

TEST(JpegEncode, OnePixelAtQuality100IsBaselineJfif) {
    TempDir dir;
    const std::string path = dir.file("one.jpg");
    TBitmap bitmap;
    bitmap.setImage(filled(1, 1, QImage::Format_BGR888, QColor(30, 160, 220)));
    TJPEGImage jpeg;
    jpeg.assign(bitmap);
    jpeg.setCompressionQuality(100);
    jpeg.saveToFile(path);

    const std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 20u);
    const std::vector<Marker> markers = headerMarkers(bytes);
    ASSERT_GE(markers.size(), 3u);
    EXPECT_EQ(markers[0].code, 0xD8); // SOI
    EXPECT_EQ(markers[1].code, 0xE0); // APP0 ...
    EXPECT_EQ(bytes.substr(markers[1].offset + 4, 5), std::string("JFIF\0", 5));
    EXPECT_TRUE(hasMarker(bytes, 0xC0)); // baseline frame
    EXPECT_FALSE(hasMarker(bytes, 0xC2));
    EXPECT_EQ(markers.back().code, 0xDA);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");

    QImage qt;
    ASSERT_TRUE(qt.load(QString::fromStdString(path), "JPG"));
    ASSERT_EQ(qt.size(), QSize(1, 1));
    const QColor c = qt.pixelColor(0, 0);
    EXPECT_NEAR(c.red(), 30, 4);
    EXPECT_NEAR(c.green(), 160, 4);
    EXPECT_NEAR(c.blue(), 220, 4);
}

TEST(JpegEncode, QualityIsARawByteAndDefaultsTo90) {
    const QImage picture = patternImage(40, 30);
    const std::string q100 = encodeWithJpegImage(picture, 100);
    EXPECT_EQ(encodeWithJpegImage(picture, 255), q100); // libjpeg treats >100 as 100
    const std::string q90 = encodeWithJpegImage(picture, 90);
    EXPECT_NE(q90, q100);
    EXPECT_EQ(TJPEGImage().compressionQuality(), 90);
    EXPECT_EQ(encodeWithJpegImage(picture), q90);
}

TEST(JpegEncode, ColoursSurviveARoundTrip) {
    const QImage picture = smoothPicture(64, 48);
    const std::string bytes = encodeWithJpegImage(picture, 95);
    TJPEGImage jpeg;
    jpeg.loadFromBytes(bytes);
    const QImage ours = jpeg.image();
    ASSERT_EQ(ours.format(), QImage::Format_BGR888);
    EXPECT_LT(meanAbsError(ours, picture), 2.0);
    // Qt's reader must see the same colours: channel order on both sides agrees.
    EXPECT_LT(meanAbsError(decodeWithQt(bytes), ours), 2.0);
}

TEST(JpegEncode, EveryBitmapLayoutKeepsItsColours) {
    const QColor red(250, 0, 0);
    QImage indexed(8, 8, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), red.rgb()});
    indexed.fill(1);
    for (const QImage& source :
         {filled(8, 8, QImage::Format_RGB32, red), filled(8, 8, QImage::Format_ARGB32, red),
          filled(8, 8, QImage::Format_BGR888, red), filled(8, 8, QImage::Format_RGB888, red),
          indexed, filled(8, 8, QImage::Format_RGB16, red)}) {
        SCOPED_TRACE(source.format());
        TBitmap bitmap;
        bitmap.setImage(source, pixelFormatLabel(source)); // kept in its own layout
        TJPEGImage jpeg;
        jpeg.assign(bitmap);
        jpeg.compress();
        const QColor c = decodeWithQt(jpeg.data()->data).pixelColor(4, 4);
        EXPECT_GT(c.red(), 235);
        EXPECT_LT(c.green(), 15);
        EXPECT_LT(c.blue(), 15);
    }
}

TEST(JpegEncode, ConvertedLayoutsGiveTheBytesOfA24BitCopy) {
    // 37 rows: converted in chunks, the last one short.
    const QImage picture = patternImage(41, 37);
    QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    premultiplied.setPixelColor(3, 3, QColor(200, 100, 50, 128));
    for (const QImage& source : {picture.convertToFormat(QImage::Format_Indexed8),
                                 picture.convertToFormat(QImage::Format_Mono),
                                 picture.convertToFormat(QImage::Format_RGB16), premultiplied,
                                 picture.convertToFormat(QImage::Format_Grayscale8)}) {
        SCOPED_TRACE(source.format());
        const JpegEncodeSettings settings{90, false, false};
        EXPECT_EQ(encodeJpeg(source, settings, {}),
                  encodeJpeg(source.convertToFormat(QImage::Format_BGR888), settings, {}));
    }
}

TEST(JpegEncode, GreyAndProgressiveSettingsShapeTheStream) {
    const QImage picture = patternImage(48, 32);
    const std::string grey = encodeWithJpegImage(picture, 90, true);
    EXPECT_EQ(decodeWithQt(grey).format(), QImage::Format_Grayscale8);
    TJPEGImage reloaded;
    reloaded.loadFromBytes(grey);
    EXPECT_TRUE(reloaded.data()->grayscale);

    TBitmap bitmap;
    bitmap.setImage(picture);
    TJPEGImage jpeg;
    jpeg.assign(bitmap);
    jpeg.setGrayscale(true);
    jpeg.compress();
    EXPECT_TRUE(jpeg.data()->grayscale);

    const std::string progressive = encodeWithJpegImage(picture, 90, false, true);
    EXPECT_TRUE(hasMarker(progressive, 0xC2));
    EXPECT_FALSE(hasMarker(progressive, 0xC0));
    reloaded.loadFromBytes(progressive);
    EXPECT_TRUE(reloaded.data()->progressive);
    EXPECT_LT(meanAbsError(reloaded.image(), decodeWithQt(progressive)), 2.0);
}

TEST(JpegEncode, NothingToEncodeSavesZeroBytes) {
    TempDir dir;
    TJPEGImage none;
    none.saveToFile(dir.file("none.jpg"));
    EXPECT_TRUE(fileExists(dir.file("none.jpg")));
    EXPECT_EQ(readFile(dir.file("none.jpg")).size(), 0u);

    TBitmap zeroWide;
    TJPEGImage jpeg;
    jpeg.assign(zeroWide);
    jpeg.compress();
    EXPECT_TRUE(jpeg.data()->data.empty());
    jpeg.saveToFile(dir.file("zero.jpg"));
    EXPECT_EQ(readFile(dir.file("zero.jpg")).size(), 0u);
}

TEST(JpegEncode, CompressReencodesALoadedPictureAtItsQuality) {
    const std::string original = encodeWithQt(patternImage(40, 40), 95);
    TJPEGImage jpeg;
    jpeg.loadFromBytes(original);
    jpeg.setCompressionQuality(30);
    jpeg.compress();
    EXPECT_LT(jpeg.data()->data.size(), original.size());
    EXPECT_EQ(decodeWithQt(jpeg.data()->data).size(), QSize(40, 40));
}

} // namespace
} // namespace kelvora

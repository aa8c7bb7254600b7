// The picture object around the codec: assignment, streaming, progress, registration.
#include "base/bitmap.h"
#include "base/errors.h"
#include "base/picture.h"
#include "jpeg/jpeg_image.h"
#include "tests/jpeg/jpeg_samples.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>

namespace kelvora {
namespace {
using namespace kelvora::test;

struct ProgressEvent {
    TProgressStage stage;
    int percent;
    bool redraw;
};

std::vector<ProgressEvent>& record(TJPEGImage& jpeg, std::vector<ProgressEvent>& events) {
    jpeg.onProgress = [&events](TGraphic&, TProgressStage stage, int percent, bool redraw,
                                const QRect&, const QString&) {
        events.push_back({stage, percent, redraw});
    };
    return events;
}

void expectStartAndEnd(const std::vector<ProgressEvent>& events, int endPercent) {
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().stage, TProgressStage::psStarting);
    EXPECT_EQ(events.front().percent, 0);
    EXPECT_EQ(events.back().stage, TProgressStage::psEnding);
    EXPECT_EQ(events.back().percent, endPercent);
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].stage, TProgressStage::psRunning);
        EXPECT_GE(events[i].percent, 0);
        EXPECT_LE(events[i].percent, 100);
    }
}

// A picture class JPEG knows nothing about.
class Unrelated : public TGraphic {
public:
    const TGraphicClass& graphicClass() const override { return TGraphic::classInfo(); }
    int width() const override { return 1; }
    int height() const override { return 1; }
    bool empty() const override { return false; }
    void draw(QPainter&, const QRect&) override {}
    QImage image() override { return {}; }
    void loadFromStream(std::istream&) override {}
    void saveToStream(std::ostream&) override {}
};

TEST(JpegObject, ExifOrientationTurnsThePictureUpright) {
    // A 48 x 32 picture with a coloured block in each corner.
    QImage stored(48, 32, QImage::Format_RGB888);
    stored.fill(Qt::gray);
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
               white = qRgb(255, 255, 255);
    const auto block = [&](int x0, int y0, QRgb c) {
        for (int y = y0; y < y0 + 8; ++y)
            for (int x = x0; x < x0 + 8; ++x)
                stored.setPixel(x, y, c);
    };
    block(0, 0, red);     // top left
    block(40, 0, green);  // top right
    block(0, 24, blue);   // bottom left
    block(40, 24, white); // bottom right
    const std::string jpeg = encodeWithCjpeg(stored, {"-quality", "100", "-sample", "1x1"});

    enum Corner { UL, UR, LL, LR };
    // Where the stored top left, top right, bottom left and bottom right go.
    const Corner where[9][4] = {{},
                                {UL, UR, LL, LR},  // 1: as stored
                                {UR, UL, LR, LL},  // 2: mirrored
                                {LR, LL, UR, UL},  // 3: half a turn
                                {LL, LR, UL, UR},  // 4: upside down
                                {UL, LL, UR, LR},  // 5: transposed
                                {UR, LR, UL, LL},  // 6: a quarter clockwise
                                {LR, UR, LL, UL},  // 7: transversed
                                {LL, UL, LR, UR}}; // 8: a quarter anticlockwise
    const QRgb colours[4] = {red, green, blue, white};
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        TJPEGImage image;
        image.loadFromBytes(withExifOrientation(jpeg, o));
        const QSize size = o >= 5 ? QSize(32, 48) : QSize(48, 32);
        EXPECT_EQ(QSize(image.width(), image.height()), size);
        const QImage upright = image.image();
        ASSERT_EQ(upright.size(), size);
        const QPoint at[4] = {{3, 3},
                              {size.width() - 4, 3},
                              {3, size.height() - 4},
                              {size.width() - 4, size.height() - 4}};
        for (int c = 0; c < 4; ++c) {
            const QRgb got = upright.pixel(at[where[o][c]]);
            EXPECT_LE(std::abs(qRed(got) - qRed(colours[c])) +
                          std::abs(qGreen(got) - qGreen(colours[c])) +
                          std::abs(qBlue(got) - qBlue(colours[c])),
                      24)
                << "corner " << c;
        }
    }
    // A damaged or absent tag leaves the picture as stored.
    TJPEGImage plain;
    plain.loadFromBytes(withExifOrientation(jpeg, 9));
    EXPECT_EQ(plain.width(), 48);
}

TEST(JpegObject, ResizingIsRefused) {
    TJPEGImage jpeg;
    jpeg.loadFromBytes(encodeWithQt(patternImage(8, 8)));
    for (auto resize : {&TJPEGImage::setWidth, &TJPEGImage::setHeight}) {
        try {
            (jpeg.*resize)(4);
            FAIL() << "resizing must be refused";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.message(), QStringLiteral("JPEG イメージのサイズは変更できません"));
        }
    }
    EXPECT_EQ(jpeg.width(), 8);
}

TEST(JpegObject, AssignmentSharesDataOrTakesABitmap) {
    TJPEGImage loaded;
    loaded.loadFromBytes(encodeWithQt(patternImage(30, 20)));

    TJPEGImage sharing;
    sharing.assign(loaded);
    EXPECT_EQ(sharing.data(), loaded.data()); // one TJPEGData, two owners
    EXPECT_EQ(loaded.data().use_count(), 2);
    EXPECT_FALSE(sharing.hasBitmap());
    EXPECT_EQ(sharing.width(), 30);

    loaded.image();
    TJPEGImage withBitmap;
    withBitmap.assign(loaded);
    ASSERT_TRUE(withBitmap.hasBitmap());
    EXPECT_NE(withBitmap.bitmap(), loaded.bitmap());
    EXPECT_EQ(withBitmap.image(), loaded.image());

    TBitmap bitmap(12, 7, TPixelFormat::pf24bit);
    TJPEGImage fromBitmap;
    fromBitmap.loadFromBytes(encodeWithQt(patternImage(8, 8)));
    fromBitmap.assign(bitmap);
    EXPECT_TRUE(fromBitmap.data()->data.empty());
    EXPECT_FALSE(fromBitmap.data()->loaded);
    EXPECT_EQ(fromBitmap.width(), 12);
    EXPECT_EQ(fromBitmap.height(), 7);

    TBitmap target;
    loaded.assignTo(target);
    EXPECT_EQ(target.qimage(), loaded.image());

    Unrelated other;
    EXPECT_THROW(fromBitmap.assign(other), EConvertError);
}

TEST(JpegObject, SavingWritesTheLoadedBytesUnchanged) {
    TempDir dir;
    const std::string bytes = encodeWithQt(patternImage(30, 20), 70);
    TJPEGImage jpeg;
    jpeg.loadFromFile(dir.write("in.jpg", bytes));
    jpeg.image();
    jpeg.saveToFile(dir.file("out.jpg"));
    EXPECT_EQ(readFile(dir.file("out.jpg")), bytes);
}

TEST(JpegObject, LoadingStartsAtTheStreamPosition) {
    const std::string bytes = encodeWithQt(patternImage(9, 5));
    std::istringstream in("prefix" + bytes);
    in.seekg(6);
    TJPEGImage jpeg;
    jpeg.loadFromStream(in);
    EXPECT_EQ(jpeg.data()->data, bytes);
    EXPECT_EQ(jpeg.width(), 9);
}

TEST(JpegObject, FormStreamingIsLengthThenBytes) {
    const std::string bytes = encodeWithQt(patternImage(9, 5));
    TJPEGImage jpeg;
    jpeg.loadFromBytes(bytes);
    std::stringstream stream;
    jpeg.writeData(stream);
    const std::string written = stream.str();
    ASSERT_EQ(written.size(), bytes.size() + 4);
    const auto n = static_cast<std::uint32_t>(bytes.size());
    EXPECT_EQ(written.substr(0, 4),
              std::string({char(n), char(n >> 8), char(n >> 16), char(n >> 24)}));

    TJPEGImage copy;
    copy.readData(stream);
    EXPECT_EQ(copy.data()->data, bytes);
    EXPECT_EQ(copy.width(), 9);

    std::stringstream none;
    TJPEGImage().writeData(none);
    EXPECT_EQ(none.str(), std::string(4, '\0'));
    copy.readData(none);
    EXPECT_TRUE(copy.empty());
    EXPECT_TRUE(copy.image().isNull());

    std::istringstream cut(written.substr(0, written.size() / 2));
    EXPECT_THROW(copy.readData(cut), EJPEG);
}

TEST(JpegObject, ProgressStartsAtZeroAndEndsAtHundred) {
    TJPEGImage jpeg;
    std::vector<ProgressEvent> events;
    record(jpeg, events);
    jpeg.loadFromBytes(encodeWithQt(patternImage(64, 64)));
    jpeg.image();
    expectStartAndEnd(events, 100);

    events.clear();
    jpeg.compress();
    expectStartAndEnd(events, 100);

    TJPEGImage broken;
    std::vector<ProgressEvent> failed;
    record(broken, failed);
    broken.loadFromBytes("");
    EXPECT_THROW(broken.image(), EJPEG);
    expectStartAndEnd(failed, 0);
}

TEST(JpegObject, ProgressiveDisplayDrawsEveryPassAndEndsWithTheFullPicture) {
    const std::string bytes = encodeWithJpegImage(patternImage(64, 48), 90, false, true);
    TJPEGImage plain;
    plain.loadFromBytes(bytes);

    TJPEGImage passes;
    passes.setProgressiveDisplay(true);
    std::vector<ProgressEvent> events;
    int partialPictures = 0;
    passes.onProgress = [&](TGraphic& sender, TProgressStage stage, int percent, bool redraw,
                            const QRect&, const QString&) {
        events.push_back({stage, percent, redraw});
        // A redraw request comes with the picture so far in place.
        if (redraw && static_cast<TJPEGImage&>(sender).hasBitmap() &&
            sender.image().size() == QSize(64, 48))
            ++partialPictures;
    };
    passes.loadFromBytes(bytes);
    EXPECT_EQ(passes.image(), plain.image());
    EXPECT_GT(partialPictures, 1);
    expectStartAndEnd(events, 100);
}

TEST(JpegObject, AStopFromAProgressHandlerKeepsWhatWasDecoded) {
    TJPEGImage jpeg;
    jpeg.setProgressiveDisplay(true);
    jpeg.onProgress = [](TGraphic&, TProgressStage, int, bool redraw, const QRect&,
                         const QString&) {
        if (redraw)
            throw std::runtime_error("stop");
    };
    jpeg.loadFromBytes(encodeWithJpegImage(patternImage(64, 48), 90, false, true));
    EXPECT_THROW(jpeg.image(), std::runtime_error);
    ASSERT_TRUE(jpeg.hasBitmap());
    EXPECT_EQ(jpeg.image().size(), QSize(64, 48));
}

TEST(JpegObject, RegistrationMakesThePictureLoaderUseJpeg) {
    TempDir dir;
    const std::string path = dir.write("x.JPG", encodeWithQt(patternImage(14, 6)));
    registerJpegFormat();
    EXPECT_EQ(TPicture::classForExtension("jpeg"), &TJPEGImage::classInfo());
    bool described = false;
    for (const TFileFormat& f : TPicture::fileFormats())
        described |=
            f.extension == "jpg" && f.description == QStringLiteral("JPEG イメージファイル");
    EXPECT_TRUE(described);

    TPicture picture;
    picture.loadFromFile(path);
    ASSERT_NE(dynamic_cast<TJPEGImage*>(picture.graphic()), nullptr);
    EXPECT_EQ(picture.width(), 14);

    unregisterJpegFormat();
    EXPECT_EQ(TPicture::classForExtension("jpg"), nullptr);
    EXPECT_THROW(picture.loadFromFile(path), EInvalidGraphic);
}

TEST(JpegObject, NewObjectsTakeTheDefaults) {
    const TJPEGDefaults saved = JPEGDefaults();
    chooseDefaultPixelFormat(8);
    JPEGDefaults().compressionQuality = 75;
    TJPEGImage jpeg;
    EXPECT_EQ(jpeg.pixelFormat(), TJPEGPixelFormat::jf8Bit);
    EXPECT_EQ(jpeg.compressionQuality(), 75);
    chooseDefaultPixelFormat(32);
    JPEGDefaults() = saved;
    EXPECT_EQ(TJPEGImage().pixelFormat(), TJPEGPixelFormat::jf24Bit);
    EXPECT_EQ(TJPEGImage().compressionQuality(), 90);
    EXPECT_TRUE(TJPEGImage().smoothing());
}

} // namespace
} // namespace kelvora

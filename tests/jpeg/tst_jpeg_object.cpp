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

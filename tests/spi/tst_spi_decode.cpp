// Decoding through plug-ins: TSPIBitmap, TSPIGraphic and the data forms, with
// test plug-ins that behave as each test picture tells them.
#include "base/bmp_codec.h"
#include "base/picture.h"
#include "spi/spi_bitmap.h"
#include "tests/spi/spi_test_support.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using namespace kelvora;
using namespace kelvora::test;

namespace {

struct Event {
    TProgressStage stage;
    int percent;
    bool redraw;
    QRect rect;
    QString message;
    bool operator==(const Event&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << int(e.stage) << " " << e.percent << "% " << e.redraw << " "
               << e.message.toStdString();
}

template <class G> std::vector<Event>& record(G& graphic, std::vector<Event>& events) {
    graphic.onProgress = [&events](TGraphic&, TProgressStage stage, int percent, bool redraw,
                                   const QRect& rect, const QString& message) {
        events.push_back({stage, percent, redraw, rect, message});
    };
    return events;
}

const QString kCouldNotDecode = QStringLiteral("Susie Plugins could not decode");

template <class F> QString errorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(SPIDecode, ProgressReportsEveryStepInOrder) {
    Plugins p({"p1", "p2"});
    TestPicture picture;
    picture.tag = 'B'; // only the second candidate reads it
    picture.steps = 2;
    picture.total = 4;
    const std::string file = writeTestPicture(p.dir, "x.pic", picture);
    TSPIBitmap bitmap;
    std::vector<Event> events;
    record(bitmap, events);
    bitmap.loadFromFile(file);
    const QRect none(0, 0, 0, 0);
    const auto running = [&](int percent, const char* message) {
        return Event{TProgressStage::psRunning, percent, false, none, QString::fromLatin1(message)};
    };
    const std::vector<Event> expected = {
        {TProgressStage::psStarting, 0, false, none, "Loading Graphic by Susie Plugin"},
        running(1, "Seeking enabled Susie Plugins"),
        running(1, "Loading by [1-p1.spi]"),
        running(1, "Loading by [1-p1.spi]"), // MacBinary: offset 128 too
        running(1, "Loading by [2-p2.spi]"),
        running(26, ""), // 1 * 97 / 4 = 24.25, + 2
        running(51, ""), // 2 * 97 / 4 = 48.5 rounds up, + 2
        {TProgressStage::psEnding, 100, true, QRect(0, 0, 4, 3), "Loaded Graphic"},
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(bitmap.width(), 4);
    EXPECT_EQ(bitmap.qimage().pixel(3, 0), qRgb('B', 0, 60)); // red = tag, green = 20y, blue = 20x
}

TEST(SPIDecode, CallbackPercentagesKeepTheirByte) {
    struct Row {
        std::int32_t done, total;
        int percent;
    };
    const Row rows[] = {{0, 100, 2},     {100, 100, 99},  {50, 100, 51}, {1, 0, 1},
                        {200, 100, 196}, {400, 100, 134}, {-1, 1, 161}};
    TSPIGraphic graphic;
    std::istringstream empty;
    TInSPIAbleFromStream data(&graphic, "x", empty);
    std::vector<Event> events;
    record(graphic, events);
    data.OnProgress = graphic.onProgress;
    for (const Row& r : rows) {
        events.clear();
        EXPECT_EQ(TInSPIAbleData::ProgressCallback(r.done, r.total, &data), 0);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].percent, r.percent) << r.done << "/" << r.total;
    }
    // EAbort asks the plug-in to stop; no handler or no data means go on.
    data.OnProgress = [](TGraphic&, TProgressStage, int, bool, const QRect&, const QString&) {
        throw EAbort(QString());
    };
    EXPECT_EQ(TInSPIAbleData::ProgressCallback(1, 2, &data), 1);
    EXPECT_EQ(TInSPIAbleData::ProgressCallback(1, 2, nullptr), 0);
}

TEST(SPIDecode, MacBinaryFilesAreReadFromByte128) {
    Plugins p({"p1"});
    const std::string file = writeTestPicture(p.dir, "mac.pic", TestPicture{}, 128);
    TSPIBitmap bitmap;
    bitmap.loadFromFile(file);
    EXPECT_EQ(bitmap.width(), 4);
    p.m.spis.MacBinary = false;
    EXPECT_EQ(errorOf([&] { TSPIBitmap().loadFromFile(file); }), kCouldNotDecode);
}

TEST(SPIDecode, PixelFormatsAndPalettesComeThrough) {
    struct Row {
        std::uint8_t bits;
        std::uint32_t colors;
        bool topDown;
        int colorCount;
        std::size_t headerSize;
        std::size_t imageSize;
        TPixelFormat format;
    };
    // 5 x 3 pictures
    const Row rows[] = {
        {1, 0, false, 2, 48, 4 * 3, TPixelFormat::pf1bit},
        {4, 0, false, 16, 104, 4 * 3, TPixelFormat::pf4bit},
        {4, 5, true, 5, 60, 4 * 3, TPixelFormat::pf4bit},
        {8, 0, false, 256, 1064, 8 * 3, TPixelFormat::pf8bit},
        {24, 0, true, 0, 40, 16 * 3, TPixelFormat::pf24bit},
        {24, 0, false, 0, 40, 16 * 3, TPixelFormat::pf24bit},
        {32, 0, false, 0, 40, 20 * 3, TPixelFormat::pf32bit},
    };
    Plugins p({"p1"});
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.bits) * 100 + r.colors);
        TestPicture picture;
        picture.width = 5;
        picture.bits = r.bits;
        picture.colors = r.colors;
        picture.topDown = r.topDown;
        const std::string file = writeTestPicture(p.dir, "f.pic", picture);

        TSPIGraphic graphic;
        graphic.loadFromFile(file);
        EXPECT_EQ(graphic.width(), 5);
        EXPECT_EQ(graphic.height(), r.topDown ? -3 : 3);
        EXPECT_EQ(graphic.ColorCount(), r.colorCount);
        EXPECT_EQ(graphic.HeaderSize(), r.headerSize);
        EXPECT_EQ(graphic.ImageSize(), r.imageSize);
        EXPECT_EQ(graphic.KeepPalette(), r.bits == 4);
        std::ostringstream bmp;
        graphic.saveToStream(bmp);
        EXPECT_EQ(bmp.str().size(), 14 + r.headerSize + r.imageSize);
        const QImage drawn = graphic.image();

        TSPIBitmap bitmap;
        bitmap.loadFromFile(file);
        EXPECT_EQ(bitmap.pixelFormat(), r.format);
        // Copied straight or through a bitmap file, the picture is the same.
        EXPECT_EQ(bitmap.qimage(), decodeBmp(graphic.BmpBytes()).image);
        EXPECT_EQ(bitmap.width(), 5);
        EXPECT_EQ(bitmap.height(), 3);
        // Pixel (x, y): index (x + y) mod colours, or blue 20x, green 20y; rows the right way up.
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                QRgb expected;
                if (r.bits <= 8) {
                    const int i = (x + y) % r.colorCount;
                    expected = qRgb((i * 16) & 255, 255 - i, i);
                } else {
                    expected = qRgb('*', 20 * y, 20 * x);
                }
                EXPECT_EQ(bitmap.qimage().pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF)
                    << x << "," << y;
                EXPECT_EQ(drawn.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF) << x << "," << y;
            }
        if (r.bits <= 8) {
            EXPECT_EQ(bitmap.palette().size(), r.colorCount);
        }
    }
}

TEST(SPIDecode, TheForcedLoaderAloneIsAskedWhateverTheExtension) {
    Plugins p({"p1", "p2"});
    TestPicture picture;
    picture.tag = 'A';
    const std::string file = writeTestPicture(p.dir, "x.mag", picture);
    p.m.spis.GraphicForcedLoader = p.plugin(1);
    TSPIGraphic graphic;
    std::vector<Event> events;
    record(graphic, events);
    EXPECT_EQ(errorOf([&] { graphic.loadFromFile(file); }), kCouldNotDecode);
    for (const Event& e : events)
        EXPECT_FALSE(e.message.contains(QStringLiteral("p1"))) << e;
    EXPECT_TRUE(graphic.empty());
    p.m.spis.GraphicForcedLoader = p.plugin(0);
    graphic.loadFromFile(file);
    EXPECT_EQ(graphic.width(), 4);
    p.m.spis.Delete(0); // the forced loader goes with its plug-in
    EXPECT_EQ(p.m.spis.GraphicForcedLoader, nullptr);
}

TEST(SPIDecode, BitmapsGoToTheBitmapReaderFirst) {
    Plugins p({"bmpclaim"});
    ASSERT_EQ(TPicture::classForExtension("bmp"), &TSPIBitmap::classInfo());
    const std::string real = p.dir.write(
        "real.BMP", encodeBmp(QImage(7, 2, QImage::Format_RGB888), TPixelFormat::pf24bit));
    TestPicture picture;
    picture.tag = 'Z';
    const std::string plugged = writeTestPicture(p.dir, "plugged.bmp", picture);
    const std::string pic = writeTestPicture(p.dir, "plugged.pic", picture);

    struct Row {
        std::string file;
        int width;
        bool pluginAsked;
    };
    for (const Row& r : {Row{real, 7, false}, Row{plugged, 4, true}, Row{pic, 4, true}}) {
        SCOPED_TRACE(r.file);
        TSPIBitmap bitmap;
        std::vector<Event> events;
        record(bitmap, events);
        bitmap.loadFromFile(r.file);
        EXPECT_EQ(bitmap.width(), r.width);
        EXPECT_EQ(events.size() > 1, r.pluginAsked);
    }
}

TEST(SPIDecode, PreviewsAreAskedForOnlyWhenWanted) {
    Plugins p({"preview", "p1"});
    TestPicture picture;
    picture.tag = '*';
    const std::string pre = writeTestPicture(p.dir, "x.pre", picture);
    const std::string pic = writeTestPicture(p.dir, "x.pic", picture);
    struct Row {
        bool wanted;
        std::string file;
        int width;
    };
    // Width 4 in full, 2 as a preview; p1 has no GetPreview and gives the picture instead.
    for (const Row& r : {Row{false, pre, 4}, Row{true, pre, 2}, Row{true, pic, 4}}) {
        p.m.spis.GraphicPreview = r.wanted;
        TSPIBitmap bitmap;
        bitmap.loadFromFile(r.file);
        EXPECT_EQ(bitmap.width(), r.width) << r.wanted << r.file;
    }
}

TEST(SPIDecode, StreamsAreHandedOverFromTheirFirstByte) {
    Plugins p({"p1"});
    const std::string bytes = testPictureBytes(TestPicture{});
    std::istringstream in(bytes);
    in.seekg(10);
    TSPIBitmap bitmap;
    bitmap.LoadFromStreamWithName(in, "s.pic");
    EXPECT_EQ(bitmap.width(), 4);
    std::istringstream unnamed(bytes);
    bitmap.OnLoadFromStreamWithName()(unnamed, "");
    EXPECT_EQ(bitmap.width(), 4);

    TSPIGraphic graphic;
    graphic.LoadFromMemoryWithName(bytes, "m.pic");
    EXPECT_EQ(graphic.Data()->FileName, "m.pic");
    EXPECT_EQ(graphic.width(), 4);
    TSPIBitmap copy;
    copy.assign(graphic); // keeps the graphic's data
    EXPECT_FALSE(graphic.empty());
    EXPECT_EQ(copy.qimage(), bitmap.qimage());
}

TEST(SPIDecode, BadPluginsFailThisPictureAndNothingElse) {
    struct Row {
        TestAction action;
        const char* what;
    };
    const Row rows[] = {
        {TestAction::kCrash, "crash"},           {TestAction::kHang, "hang"},
        {TestAction::kShortBits, "short bits"},  {TestAction::kBadHeader, "bad header"},
        {TestAction::kNullHandles, "null"},      {TestAction::kFail, "error code"},
        {TestAction::kForeignHandle, "foreign"}, {TestAction::kHugeHeader, "huge header"},
        {TestAction::kSmallInfo, "small info"},
    };
    Plugins p({"p1", "p2"});
    TestPicture good;
    good.tag = 'B';
    const std::string goodFile = writeTestPicture(p.dir, "good.pic", good);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TestPicture bad;
        bad.tag = 'A';
        bad.action = r.action;
        const std::string file = writeTestPicture(p.dir, "bad.pic", bad);
        // Short for the plug-in that hangs, generous for everything a loaded machine slows down.
        p.m.spis.Timeout = std::chrono::milliseconds(r.action == TestAction::kHang ? 3000 : 20000);
        EXPECT_EQ(errorOf([&] { TSPIBitmap().loadFromFile(file); }), kCouldNotDecode);
        TSPIGraphic graphic;
        EXPECT_EQ(errorOf([&] { graphic.loadFromFile(file); }), kCouldNotDecode);
        EXPECT_TRUE(graphic.empty());
        // The next picture still decodes, through the same plug-ins.
        p.m.spis.Timeout = std::chrono::milliseconds(20000);
        TPicture loader;
        loader.loadFromFile(goodFile);
        EXPECT_EQ(loader.width(), 4);
    }
}

TEST(SPIDecode, ProgressHandlersMayStopAPlugin) {
    Plugins p({"p1"});
    TestPicture endless;
    endless.action = TestAction::kUntilStopped;
    const std::string file = writeTestPicture(p.dir, "x.pic", endless);
    int reports = 0;
    TSPIGraphic graphic;
    graphic.onProgress = [&](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                             const QString&) {
        if (stage == TProgressStage::psRunning && ++reports == 50)
            throw EAbort(QString());
    };
    EXPECT_EQ(errorOf([&] { graphic.loadFromFile(file); }), kCouldNotDecode);
    EXPECT_EQ(reports, 50 + 1); // MacBinary: offset 128 is asked (and refused) after the stop

    // Other errors stop the plug-in too and come out once it has returned.
    graphic.onProgress = [&](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                             const QString& message) {
        if (stage == TProgressStage::psRunning && message.isEmpty())
            throw EInvalidOperation(QStringLiteral("stopped by the handler"));
    };
    EXPECT_EQ(errorOf([&] { graphic.loadFromFile(file); }),
              QStringLiteral("stopped by the handler"));
    TSPIBitmap bitmap; // the bitmap drops each class's error
    bitmap.onProgress = graphic.onProgress;
    EXPECT_EQ(errorOf([&] { bitmap.loadFromFile(file); }), kCouldNotDecode);
}

TEST(SPIDecode, WithoutAManagerNothingDecodes) {
    useBuiltDecoder();
    TempDir dir;
    const std::string file = writeTestPicture(dir, "x.pic", TestPicture{});
    EXPECT_EQ(GetSPIs(), nullptr);
    EXPECT_EQ(errorOf([&] { TSPIGraphic().loadFromFile(file); }), kCouldNotDecode);
}

TEST(SPIDecode, PicturesDecodeOnSeveralThreadsAtOnce) {
    Plugins p({"p1", "p2"});
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) {
        TestPicture picture;
        picture.tag = i % 2 ? 'A' : 'B';
        picture.width = 10 + i;
        picture.steps = 3;
        picture.total = 3;
        std::string name = std::to_string(i);
        name += i % 2 ? ".pic" : ".mag";
        files.push_back(writeTestPicture(p.dir, name, picture));
    }
    std::vector<int> widths(files.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < files.size(); ++i)
        threads.emplace_back([&, i] {
            try {
                TPicture loader;
                loader.loadFromFile(files[i]);
                widths[i] = loader.width();
            } catch (const std::exception&) {
                widths[i] = -1;
            }
        });
    for (std::thread& t : threads)
        t.join();
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(widths[i], 10 + static_cast<int>(i));
}

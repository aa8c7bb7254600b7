// How thumbnails are made: a JPEG's Exif thumbnail when it is large enough,
// upright pictures, plug-in formats through the helper (with the plug-in's
// preview), cancellation, and several workers at once.
#include "base/orientation.h"
#include "spi/spi_bitmap.h"
#include "spi/spis.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watchdog.h"
#include "tests/thumbs/thumbs_support.h"
#include "thumbs/exif_thumbnail.h"
#include "thumbs/fail_entry.h"
#include "thumbs/thumbnail_source.h"
#include "thumbs/thumbnail_uri.h"

#include <QStandardPaths>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace kelvora {
namespace {
using namespace test;

struct MakingTest : testing::Test {
    MakingTest() { useBuiltDecoder(); }
    TempDir pictures;
    TempDir cache;
    TThumbnailSource source{cache.path() + "/thumbnails"};
};

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

TEST_F(MakingTest, ExifThumbnailIsUsedOnlyWhenLargeEnoughAndOfTheSameProportions) {
    // A small file, and one of megabytes whose thumbnail is found in its first bytes.
    const std::string small = encodeWithCjpeg(plainImage(1600, 1200, qRgb(220, 0, 0)), {});
    const std::string large = encodeWithCjpeg(photoLike(2400, 1800, 3), {});
    ASSERT_GT(large.size(), std::size_t{512} << 10); // twice what is read first
    struct Row {
        QSize embedded;
        bool used;
    } rows[] = {{{160, 120}, true}, {{128, 96}, true}, {{120, 90}, false}, {{160, 90}, false}};
    int n = 0;
    for (const std::string& photo : {small, large}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(QStringLiteral("%1 bytes, %2x%3")
                             .arg(photo.size())
                             .arg(r.embedded.width())
                             .arg(r.embedded.height())
                             .toStdString());
            const std::string embedded = encodeWithCjpeg(
                plainImage(r.embedded.width(), r.embedded.height(), qRgb(0, 0, 220)), {});
            const std::string bytes = withExifThumbnail(photo, embedded);
            ASSERT_EQ(ExifThumbnail(bytes), embedded);
            const std::optional<QImage> got =
                source.Get(pictures.write(std::to_string(++n) + ".jpg", bytes), 128);
            ASSERT_TRUE(got);
            EXPECT_EQ(got->size(), QSize(128, 96));
            EXPECT_EQ(near(got->pixel(64, 48), qRgb(0, 0, 220), 30), r.used);
        }
    }
    EXPECT_FALSE(ExifThumbnail(small));
}

TEST_F(MakingTest, ThumbnailsAreUpright) {
    // The stored picture's colours tell where each of its pixels was.
    const QImage stored = patternImage(400, 200);
    for (const int orientation : {1, 3, 6, 8}) {
        SCOPED_TRACE(orientation);
        const std::string jpeg = withExifOrientation(encodeWithCjpeg(stored, {}), orientation);
        // Also through an Exif thumbnail, which is turned the same way.
        const std::string withThumbnail = withExifThumbnail(
            encodeWithCjpeg(stored, {}), encodeWithCjpeg(patternImage(200, 100), {}), orientation);
        for (const std::string& bytes : {jpeg, withThumbnail}) {
            const std::string path = pictures.write(
                std::to_string(orientation) + "-" + std::to_string(bytes.size()) + ".jpg", bytes);
            const std::optional<QImage> got = source.Get(path, 128);
            ASSERT_TRUE(got);
            const QSize expected = SwapsSides(orientation) ? QSize(64, 128) : QSize(128, 64);
            ASSERT_EQ(got->size(), expected);
            for (const QPoint corner : {QPoint(0, 0), QPoint(expected.width() - 1, 0),
                                        QPoint(0, expected.height() - 1)}) {
                const QPoint from =
                    StoredPoint(orientation, QSize(128, 64), corner.x(), corner.y());
                // Red and green tell the place; blue is a fine checkerboard that scaling averages.
                const QRgb want = stored.pixel(from.x() * 399 / 127, from.y() * 199 / 63);
                EXPECT_TRUE(near(got->pixel(corner) | 0xFF, want | 0xFF, 48))
                    << corner.x() << "," << corner.y() << " " << std::hex << got->pixel(corner)
                    << " " << want;
            }
        }
    }
}

TEST_F(MakingTest, PluginFormatsThroughTheHelperWithTheirPreview) {
    Plugins loaded({"p1", "preview"});
    TThumbnailSource withPlugins(cache.path() + "/thumbnails", &loaded.m.spis);
    struct Row {
        const char* name;
        int w, h;
        bool topDown; // rows the picture takes over without copying
        QSize thumbnail;
    } rows[] = {
        {"plain.pic", 300, 200, false, {128, 85}}, // p1 has no preview: the picture
        {"wide.pre", 600, 300, false, {128, 128}}, // the preview, at half width, is large enough
        {"small.pre", 200, 100, false, {128, 64}}, // a 100 x 100 preview is not: the picture
        {"small-top-down.pre", 200, 100, true, {128, 64}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TestPicture p;
        p.width = r.w;
        p.height = r.h;
        p.topDown = r.topDown;
        const std::string path = writeTestPicture(pictures, r.name, p);
        const std::optional<QImage> got = withPlugins.Get(path, 128);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->size(), r.thumbnail);
        // Without plug-ins it is no picture.
        EXPECT_FALSE(source.Get(path, 128));
    }
    // Asking this load for the preview left the manager's own setting alone.
    EXPECT_FALSE(loaded.m.spis.GraphicPreview);
    EXPECT_EQ(source.Decodes(), 0);
}

TEST_F(MakingTest, HeicThumbnailComesFromTheThumbnailTheFileCarries) {
    if (QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty())
        GTEST_SKIP() << "heif-enc is missing (scripts/setup.sh --test installs it)";
    ManagerScope m;
    m.search(shippedPluginFolder() + "/*.spi");
    TThumbnailSource withPlugins(cache.path() + "/thumbnails", &m.spis);
    const QString png = QString::fromStdString(
        saveImage(photoLike(480, 320, 7), pictures.file("source.png"), "png"));
    struct Row {
        const char* name;
        QStringList thumbnail; // heif-enc's options
        int previewWidth;      // of what GetPreview gives
    } rows[] = {{"with.heic", {QStringLiteral("-t"), QStringLiteral("160")}, 160},
                {"without.heic", {}, 480}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string path = pictures.file(r.name);
        ASSERT_EQ(
            runProgram(QStringLiteral("heif-enc"),
                       QStringList{QStringLiteral("-q"), QStringLiteral("80")} + r.thumbnail +
                           QStringList{QStringLiteral("-o"), QString::fromStdString(path), png}),
            0);
        TSPIGraphic graphic;
        graphic.PreviewWanted = true;
        graphic.loadFromFile(path);
        EXPECT_EQ(graphic.Data()->FromPreview, r.previewWidth == 160);
        EXPECT_EQ(graphic.width(), r.previewWidth);
        const std::optional<QImage> got = withPlugins.Get(path, 128);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->size(), QSize(128, 85));
        EXPECT_EQ(pngTextChunks(readFile(cache.path() + "/thumbnails/normal/" +
                                         ThumbnailFileName(ThumbnailUri(path))))
                      .at("Thumb::Image::Width"),
                  "480");
    }
}

TEST_F(MakingTest, CancelledGetGivesNothingAndRecordsNoFailure) {
    Plugins loaded({"preview"});
    TThumbnailSource withPlugins(cache.path() + "/thumbnails", &loaded.m.spis);
    TestPicture endless;
    endless.action = TestAction::kUntilStopped;
    struct Row {
        const char* what;
        std::string path;
        int cancelAfterMs; // -1: cancelled before the call
    } rows[] = {
        {"before the call", writeJpeg(pictures, "a.jpg", plainImage(400, 300, 0)), -1},
        {"while a plug-in decodes", writeTestPicture(pictures, "endless.pre", endless), 300},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::atomic<bool> cancelled{r.cancelAfterMs < 0};
        std::thread canceller([&] {
            if (r.cancelAfterMs >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(r.cancelAfterMs));
                cancelled = true;
            }
        });
        {
            Watchdog guard(r.what, 20);
            EXPECT_FALSE(withPlugins.Get(r.path, 128, &cancelled));
        }
        canceller.join();
        const std::string name = ThumbnailFileName(ThumbnailUri(r.path));
        EXPECT_FALSE(fileExists(FailEntryFolder(cache.path() + "/thumbnails") + "/" + name));
        EXPECT_FALSE(fileExists(cache.path() + "/thumbnails/normal/" + name));
    }
}

TEST_F(MakingTest, SeveralWorkersAtOnce) {
    Plugins loaded({"p1"});
    TThumbnailSource withPlugins(cache.path() + "/thumbnails", &loaded.m.spis);
    std::vector<std::string> paths;
    for (int i = 0; i < 16; ++i) {
        if (i % 4 == 3) {
            TestPicture p;
            p.width = 200 + i;
            p.height = 100;
            paths.push_back(writeTestPicture(pictures, std::to_string(i) + ".pic", p));
        } else {
            paths.push_back(
                writeJpeg(pictures, std::to_string(i) + ".jpg", photoLike(600 + i, 400, i)));
        }
    }
    std::vector<std::optional<QImage>> got(paths.size());
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&, w] {
            for (std::size_t i = w; i < paths.size(); i += 4)
                got[i] = withPlugins.Get(paths[i], 128);
        });
    for (std::thread& t : workers)
        t.join();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ASSERT_TRUE(got[i]) << paths[i];
        EXPECT_EQ(got[i]->width(), 128) << paths[i];
        EXPECT_TRUE(withPlugins.Cached(paths[i], 128)) << paths[i];
    }
    EXPECT_EQ(withPlugins.Decodes(), 16);
}

} // namespace
} // namespace kelvora

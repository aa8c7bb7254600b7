// Pictures in plug-in formats in the album run: converted straight from the
// plug-in's bitmap into the very files that loading and converting them whole
// gives, without a second copy, and counted in the run's memory budget by the
// size their plug-in tells, which planning asks without ever blocking on a
// FIFO. Real plug-ins in real helper processes: the shipped ones and a test
// filter that returns any bitmap a test writes (raw_dib.h).
#include "album/album_run.h"
#include "album/nearest_scale.h"
#include "album/picture_converter.h"
#include "album/picture_job.h"
#include "album/scaled_copy.h"
#include "album/staged_file.h"
#include "app/startup.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/picture.h"
#include "tests/album/raw_dib.h"
#include "tests/album/sized_settings.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/images.h"
#include "tests/support/peak_memory.h"
#include "tests/support/scoped_env.h"
#include "tests/support/xdg_sandbox.h"

#include <QImage>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;
namespace fs = std::filesystem;

namespace {

// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;

// The shipped plug-ins and the raw-DIB filter, for one test.
struct RunPlugins {
    ManagerScope scope;
    RunPlugins() {
        releaseLargeBlocksAtOnce(); // as the programs do
        scope.search(shippedPluginFolder() + "/*.spi");
        scope.search(std::string(KELVORA_RAW_DIB_PLUGINS) + "/*.spi");
    }
};

struct Layout {
    const char* name;
    int bits;
    int width;
    int height; // negative: top-down
    std::uint32_t compression = BI_RGB;
    std::uint32_t colors = 0; // biClrUsed
    std::vector<std::uint32_t> masks = {};
    std::uint32_t headerSize = 40;
    bool zeroAlpha = false;   // the fourth byte of every 32-bit pixel is 0
    bool beyondTable = false; // 4 bits: pixels also use colours the table lacks
};

void put(std::string& out, const void* p, std::size_t n) {
    out.append(static_cast<const char*>(p), n);
}

// A bitmap of the layout with random rows and colours (made by the plug-in when
// madeRows is set, so that a large picture comes from a small file).
std::string rawDib(const Layout& l, unsigned seed, bool madeRows = false) {
    std::mt19937 random(seed);
    BITMAPINFOHEADER h{};
    h.biSize = l.headerSize;
    h.biWidth = l.width;
    h.biHeight = l.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(l.bits);
    h.biCompression = l.compression;
    h.biClrUsed = l.colors;
    std::string info;
    put(info, &h, sizeof h);
    if (l.headerSize > 40) {
        std::string rest(l.headerSize - 40, '\0');
        for (std::size_t i = 0; i < l.masks.size(); ++i)
            std::memcpy(rest.data() + 4 * i, &l.masks[i], 4);
        info += rest;
    } else {
        for (std::uint32_t m : l.masks)
            put(info, &m, 4);
    }
    const std::uint32_t entries = l.bits <= 8 && l.colors == 0 ? 1u << l.bits : l.colors;
    for (std::uint32_t i = 0; i < 4 * entries; ++i)
        info.push_back(static_cast<char>(random()));
    const std::size_t stride = (static_cast<std::size_t>(l.bits) * l.width + 31) / 32 * 4;
    const std::size_t size = stride * static_cast<std::size_t>(std::abs(l.height));
    RawDibHeader header;
    header.colorDepth = static_cast<std::int16_t>(l.bits);
    header.width = l.width;
    header.height = std::abs(l.height);
    std::string bits;
    if (madeRows)
        header.madeBits = static_cast<std::uint32_t>(size);
    for (std::size_t i = 0; i < size && !madeRows; ++i) {
        unsigned byte = random() & 0xFF;
        if (l.zeroAlpha && i % 4 == 3)
            byte = 0;
        if (l.bits == 4 && !l.beyondTable)
            byte = (byte >> 4) % entries << 4 | (byte & 15) % entries;
        bits.push_back(static_cast<char>(byte));
    }
    return rawDibBytes(header, info, bits);
}

// The picture with what its plug-in's GetPictureInfo answers changed.
std::string toldAs(std::string rawDib, std::int32_t result, std::int32_t width, std::int32_t height,
                   std::int16_t depth) {
    RawDibHeader h;
    std::memcpy(&h, rawDib.data(), sizeof h);
    h.infoResult = result;
    h.width = width;
    h.height = height;
    h.colorDepth = depth;
    std::memcpy(rawDib.data(), &h, sizeof h);
    return rawDib;
}

std::string described(const TPictureSettings& s) {
    return s.PictureType + " " +
           (s.PictureSizeMode ? std::to_string(s.Rate) + "%"
                              : std::to_string(s.Horizonal) + "x" + std::to_string(s.Vertical));
}

struct Converted {
    std::string large, small, error;
    QImage preview;
};

// The run's conversion of one picture into staged files.
Converted streamed(const TempDir& dir, const std::string& file, const TPictureSettings& large,
                   const TPictureSettings& small) {
    Converted c;
    fs::create_directories(dir.file("out"));
    try {
        TStagedFile l(dir.file("out/L")), s(dir.file("out/S"));
        int done = 0;
        c.preview = ConvertPictureJob(
            {file, &large, &small}, l, s, [&] { ++done; }, nullptr);
        EXPECT_EQ(done, 2);
        l.commit();
        s.commit();
        c.large = readFile(dir.file("out/L"));
        c.small = readFile(dir.file("out/S"));
    } catch (const Exception& e) {
        c.error = e.message().toStdString();
    }
    return c;
}

// Loading the picture whole through the picture loader, scaling and encoding it.
Converted whole(const std::string& file, const TPictureSettings& large,
                const TPictureSettings& small) {
    Converted c;
    try {
        TPicture picture;
        picture.loadFromFile(file);
        const QImage image = picture.graphic()->image();
        c.large = EncodeScaledPicture(large, image);
        c.small = EncodeScaledPicture(small, image);
        const QSize preview = PreviewSize(image.size(), kRunPreviewSide);
        c.preview = ScaleNearest(image, preview.width(), preview.height());
    } catch (const Exception& e) {
        c.error = e.message().toStdString();
    }
    return c;
}

bool mapsLocalBlocks() {
    std::ifstream in("/proc/self/maps");
    std::string line;
    while (std::getline(in, line))
        if (line.find("kelvora-local") != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(PluginPictures, SameFilesAsConvertingWhole) {
    RunPlugins plugins;
    TempDir dir;
    const Layout layouts[] = {
        {"1 bit", 1, 45, 19},
        {"1 bit, top-down, one colour", 1, 45, -19, BI_RGB, 1},
        {"4 bits, 5 colours", 4, 37, 23, BI_RGB, 5},
        {"4 bits, 5 colours, pixels beyond them", 4, 37, 23, BI_RGB, 5, {}, 40, false, true},
        {"4 bits, top-down", 4, 37, -23},
        {"8 bits, 20 colours", 8, 33, 21, BI_RGB, 20},
        {"8 bits, top-down", 8, 33, -21},
        {"16 bits", 16, 31, 17},
        {"16 bits, 565", 16, 31, -17, BI_BITFIELDS, 0, {0xF800, 0x07E0, 0x001F}},
        {"24 bits", 24, 29, 31},
        {"24 bits, top-down", 24, 29, -31},
        {"24 bits with a colour table", 24, 29, 31, BI_RGB, 3},
        {"32 bits", 32, 27, 13},
        {"32 bits, bit fields", 32, 27, -13, BI_BITFIELDS, 0, {0xFF0000, 0xFF00, 0xFF}},
        {"32 bits, alpha", 32, 27, 13, BI_ALPHABITFIELDS, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
        {"32 bits, alpha zero everywhere",
         32,
         27,
         -13,
         BI_ALPHABITFIELDS,
         0,
         {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
         40,
         true},
        {"32 bits, 10-bit channels, V5 header",
         32,
         26,
         14,
         BI_BITFIELDS,
         0,
         {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
         124},
        {"32 bits, OS/2 header with bit fields",
         32,
         8,
         8,
         BI_BITFIELDS,
         0,
         {0xFF0000, 0xFF00, 0xFF},
         64},
    };
    std::vector<std::pair<std::string, std::string>> pictures; // name, path
    unsigned seed = 0;
    for (const Layout& l : layouts) {
        ++seed;
        pictures.emplace_back(
            l.name, dir.write("pics/" + std::to_string(seed) + ".rawdib", rawDib(l, seed)));
    }
    for (const FormatPicture& p : makeFormatPictures(dir, 61, 47))
        pictures.emplace_back(p.name, p.path);

    // Reduced and enlarged, by percent and stretched to pixels, into JPEG and PNG.
    const std::pair<TPictureSettings, TPictureSettings> pairs[] = {
        {sizedSettings("Jpeg", true, 50, 0, 0, 255), sizedSettings("Png", true, 30, 0, 0, 100)},
        {sizedSettings("Png", true, 200, 0, 0, 75), sizedSettings("Jpeg", false, 0, 37, 23, 90)},
        {sizedSettings("Png", false, 0, 61, 7, 50), sizedSettings("Jpeg", true, 1, 0, 0, 100)},
    };
    for (const auto& [name, path] : pictures) {
        for (const auto& [large, small] : pairs) {
            SCOPED_TRACE(name + ": " + described(large) + ", " + described(small));
            const Converted expected = whole(path, large, small);
            const Converted got = streamed(dir, path, large, small);
            EXPECT_EQ(got.error, expected.error);
            if (!expected.error.empty())
                continue;
            EXPECT_TRUE(got.large == expected.large);
            EXPECT_TRUE(got.small == expected.small);
            EXPECT_EQ(got.preview, expected.preview);
        }
    }
    // Rows that fail do so as converting whole fails: a bitmap the reader refuses,
    // a PNG palette that lacks colours the pixels use.
    EXPECT_EQ(streamed(dir, pictures[17].second, pairs[0].first, pairs[0].second).error,
              "ビットマップ画像が不正です");
    EXPECT_EQ(streamed(dir, pictures[3].second, pairs[0].first, pairs[0].second).error,
              "PNG 画像を作成できません");
    EXPECT_GT(pictures.size(), std::size(layouts));
}

TEST(PluginPictures, NoSecondCopyAndTheBitmapGoesBackAtOnce) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer keeps freed memory resident: the peak says nothing here";
#endif
    RunPlugins plugins;
    TempDir dir;
    const TPictureSettings large = sizedSettings("Jpeg", true, 50, 0, 0, 90);
    const TPictureSettings small = sizedSettings("Png", true, 30, 0, 0, 90);
    const struct {
        Layout layout;
        std::size_t bitmap;
    } cases[] = {
        {{"24 bits, bottom-up", 24, 4000, 3000}, 4000u * 3 * 3000},
        {{"8 bits", 8, 6000, 4000}, 6000u * 4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout.name);
        const std::string file = dir.write("big.rawdib", rawDib(c.layout, 7, true));

        const PeakMemory peak;
        const Converted got = streamed(dir, file, large, small);
        ASSERT_EQ(got.error, "");
        const long grown = peak.grown();
        // The bitmap itself, and a little for rows and encoders: not a second copy.
        EXPECT_LT(grown, static_cast<long>(c.bitmap + c.bitmap / 2)) << grown;
        EXPECT_FALSE(mapsLocalBlocks());
    }
}

TEST(PluginPictures, CountedByTheSizeTheirPluginTells) {
    RunPlugins plugins;
    TempDir dir;
    constexpr std::size_t kLimit = std::size_t{1} << 28; // pixels
    const TPictureSettings large = sizedSettings("Jpeg", true, 50, 0, 0, 90);
    const TPictureSettings small = sizedSettings("Jpeg", true, 30, 0, 0, 90);
    const Layout tiny{"", 24, 2, 2};
    const struct {
        const char* what;
        std::int32_t result, width, height;
        std::int16_t depth;
        std::size_t bytes;
    } cases[] = {
        {"24 bits", 0, 101, 50, 24, 304 * 50},
        {"1 bit", 0, 101, 50, 1, 16 * 50},
        {"an unknown depth", 0, 101, 50, 7, 404 * 50},
        {"no depth", 0, 101, 50, 0, 404 * 50},
        {"a width of 0", 0, 0, 50, 8, kLimit},
        {"a negative height", 0, 101, -50, 24, kLimit * 3},
        {"more pixels than any picture", 0, 20000, 20000, 16, kLimit * 2},
        {"an answer that fails", SPI_BROKEN_DATA, 101, 50, 24, kLimit * 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file =
            dir.write("told.rawdib", toldAs(rawDib(tiny, 1), c.result, c.width, c.height, c.depth));
        EXPECT_EQ(EstimateWorkingMemory({file, &large, &small}), c.bytes);
    }
    // No plug-in takes it: the largest picture there may be.
    EXPECT_EQ(EstimateWorkingMemory({dir.write("none.rawdib", "not a picture"), &large, &small}),
              kLimit * 4);
    EXPECT_EQ(EstimateWorkingMemory({dir.file("missing.rawdib"), &large, &small}), 0u);
}

TEST(PluginPictures, TwoThatDoNotFitSideBySideNeverRunTogether) {
    RunPlugins plugins;
    TempDir dir;
    // Two small files whose plug-in tells of 2000 x 2000 pictures (12 MB each),
    // and a bitmap (1.2 MB) that may run beside either.
    const auto told = [&](const char* name, unsigned seed) {
        return dir.write(name, toldAs(rawDib({"", 24, 40, 30}, seed), 0, 2000, 2000, 24));
    };
    TStringList list;
    list.add(told("pics/a.rawdib", 1));
    list.add(told("pics/b.rawdib", 2));
    list.add(saveImage(patternImage(600, 400), dir.file("pics/c.bmp"), "bmp"));
    dir.write("Option.ini", "");
    const TAlbumJob job = MakeAlbumJob(dir.file("site/album.html"), list, dir.file("Option.ini"));

    std::set<int> inFlight;
    std::vector<std::set<int>> seen;
    TAlbumRunHooks hooks;
    hooks.pictureStarted = [&](int index) {
        inFlight.insert(index);
        seen.push_back(inFlight);
    };
    hooks.pictureConverted = [&](int index, const QImage&) { inFlight.erase(index); };
    RunAlbum(job, hooks, 3);
    EXPECT_TRUE(inFlight.empty());
    ASSERT_EQ(seen.size(), 3u);
    for (const std::set<int>& s : seen)
        EXPECT_FALSE(s.count(0) && s.count(1)) << "both plug-in pictures at once";
    EXPECT_TRUE(fs::exists(dir.file("site/large/L1.jpg")));
}

TEST(PluginPictures, AFifoInAPicturesPlaceFailsAtOnce) {
    // Planning the run reads every picture's header: a FIFO must not block it.
    TempDir dir;
    ScopedEnv env;
    env.set("XDG_CONFIG_HOME", dir.file("config"));
    for (const char* name : {"x.bmp", "y.png"}) {
        SCOPED_TRACE(name);
        const std::string fifo = dir.file(name);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        QProcess album;
        album.start(
            QStringLiteral(KELVORA_ALBUM_COMMAND),
            {QString::fromStdString(dir.file("site/album.html")), QString::fromStdString(fifo)});
        const bool ended = album.waitForFinished(20000);
        if (!ended) {
            album.kill();
            album.waitForFinished();
        }
        ASSERT_TRUE(ended) << "the run waited for a writer";
        EXPECT_EQ(album.exitCode(), 1);
        EXPECT_TRUE(QString::fromUtf8(album.readAllStandardError())
                        .contains(QStringLiteral("ファイル %1 は開けません").arg(toQ(fifo))));
    }
}

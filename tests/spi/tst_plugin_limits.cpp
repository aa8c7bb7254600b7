// The shipped import filters loaded as the decoding helper loads them: what a
// hostile or broken file gets (a refusal, and not a word on the standard
// error), what a name that is no regular file gets (a refusal at once), the
// pixels of the decoders that convert straight into the bitmap (libtiff's and
// libheif's own), and a file too big for the helper to hold whose picture is
// small (decoded).
#include "spi/spi_bitmap.h"
#include "tests/spi/hostile_pictures.h"
#include "tests/spi/shipped_filter.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/peak_memory.h"

#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class PluginLimits : public ::testing::Test {
protected:
    ShippedFilter& filter(const std::string& name) {
        auto& loaded = filters_[name];
        if (!loaded)
            loaded = std::make_unique<ShippedFilter>(shippedPluginFolder() + "/" + name + ".spi");
        return *loaded;
    }
    TempDir dir;

private:
    std::map<std::string, std::unique_ptr<ShippedFilter>> filters_;
};

// The shipped filter that reads a picture made by makeFormatPictures.
std::string filterFor(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext == ".tif" || ext == ".tiff" ? "tiff" : ext == ".heic" ? "heif" : ext.substr(1);
}

// What the process writes to its standard error while this lives, from any library.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        restore();
        std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;)
            out += static_cast<char>(c);
        return out;
    }

private:
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

// The top-down rows of the last picture, with their stride.
struct Rows {
    const unsigned char* bits;
    std::size_t stride;
    int width, height, bitCount;
};
Rows rowsOf(const ShippedFilter& f) {
    const auto* h = static_cast<const BITMAPINFOHEADER*>(f.info());
    const int width = h->biWidth;
    return {f.bits(), static_cast<std::size_t>((h->biBitCount * width + 31) / 32 * 4), width,
            -h->biHeight, h->biBitCount};
}

// libtiff's own RGBA reading of the page, as blue, green, red, alpha.
std::vector<unsigned char> libtiffPixels(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    uint32_t w = 0, h = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(static_cast<std::size_t>(w) * h);
    const bool ok = TIFFReadRGBAImageOriented(tiff, w, h, raster.data(), ORIENTATION_TOPLEFT, 1);
    TIFFClose(tiff);
    if (!ok)
        return {};
    // Red, green, blue, alpha in memory; the bitmap's blue first.
    std::vector<unsigned char> out(raster.size() * 4);
    std::memcpy(out.data(), raster.data(), out.size());
    for (std::size_t i = 0; i < out.size(); i += 4)
        std::swap(out[i], out[i + 2]);
    return out;
}

// libheif's own decoding of the primary image to interleaved RGB(A), as blue, green,
// red (, alpha).
std::vector<unsigned char> libheifPixels(const std::string& path, int* bits) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    std::vector<unsigned char> out;
    if (heif_context_read_from_file(context, path.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        const bool alpha = heif_image_handle_has_alpha_channel(handle);
        *bits = heif_image_handle_get_luma_bits_per_pixel(handle);
        if (heif_decode_image(handle, &image, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              nullptr)
                .code == heif_error_Ok) {
            int stride = 0;
            const uint8_t* p =
                heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            const int width = heif_image_get_width(image, heif_channel_interleaved);
            const int channels = alpha ? 4 : 3;
            for (int y = 0; y < heif_image_get_height(image, heif_channel_interleaved); ++y)
                for (int x = 0; x < width; ++x) {
                    const uint8_t* px = p + y * stride + x * channels;
                    out.insert(out.end(), {px[2], px[1], px[0]});
                    if (alpha)
                        out.push_back(px[3]);
                }
        }
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return out;
}

// How many bytes differ (all of them when the sizes do).
std::size_t differingBytes(const std::vector<unsigned char>& a,
                           const std::vector<unsigned char>& b) {
    if (a.size() != b.size())
        return std::max(a.size(), b.size());
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The picture's rows without their padding.
std::vector<unsigned char> packed(const Rows& r) {
    std::vector<unsigned char> out;
    const std::size_t bytes = static_cast<std::size_t>(r.width) * r.bitCount / 8;
    for (int y = 0; y < r.height; ++y)
        out.insert(out.end(), r.bits + y * r.stride, r.bits + y * r.stride + bytes);
    return out;
}

} // namespace

TEST_F(PluginLimits, HostileAndBrokenFilesAreRefusedSilently) {
    std::vector<HostilePicture> files = hostilePictures();
    // Found by fuzzing: one-tile grids whose canvas is far beyond the picture the
    // file declares, 13845 x 8192 for 48 x 32, and 63792 x 5408 for 131120 x 32.
    for (const char* name : {"heif-grid-canvas.heic", "heif-grid-area.heic"})
        files.push_back({"heif", name, readFile(std::string(KELVORA_TEST_DATA "/") + name)});
    for (const FormatPicture& p : makeFormatPictures(dir, 64, 48)) {
        const std::string bytes = readFile(p.path);
        const std::string f = filterFor(p.path);
        files.push_back({f, p.name + " cut in half", bytes.substr(0, bytes.size() / 2)});
        if (f == "heif" || f == "avif")
            files.push_back(
                {f, p.name + " claiming 65536 x 65536", withImageSize(bytes, 65536, 65536)});
        if (f == "avif") {
            // The AV1 decoder's own complaint about a broken unit goes to the standard error.
            std::string broken = bytes;
            broken[broken.find("mdat") + 4] = '\x8a';
            files.push_back({f, "AVIF with a broken OBU", broken});
        }
        if (p.name == "TIFF") {
            std::string broken = bytes; // the strip right after the header
            broken.replace(12, 24, std::string(24, '\xff'));
            files.push_back({f, "TIFF with a strip LZW cannot decode", broken});
        }
    }
    for (const HostilePicture& f : files) {
        SCOPED_TRACE(f.filter + ": " + f.name);
        ShippedFilter& plugin = filter(f.filter);
        StderrCapture err;
        const PeakMemory peak; // refused before the library allocates what the file asks
        EXPECT_NE(plugin.fromMemory(f.bytes), SPI_SUCCESS);
        EXPECT_FALSE(plugin.anyHandle());
        EXPECT_NE(plugin.fromFile(dir.write("hostile/file", f.bytes)), SPI_SUCCESS);
        EXPECT_FALSE(plugin.anyHandle());
        EXPECT_EQ(err.text(), "");
        EXPECT_LT(peak.grown(), 100L << 20);
    }
}

TEST_F(PluginLimits, NamesOfNoRegularFileAreRefusedAtOnce) {
    const std::string fifo = dir.file("pipe.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(dir.file("folder.png"));
    const std::vector<std::string> names = {fifo, dir.file("folder.png"), "/dev/null",
                                            dir.file("missing.png")};
    for (const char* name : {"png", "gif", "tiff", "webp", "heif", "avif"})
        for (const std::string& path : names) {
            SCOPED_TRACE(std::string(name) + " on " + path);
            ShippedFilter& plugin = filter(name);
            std::promise<std::int32_t> result;
            std::future<std::int32_t> answer = result.get_future();
            std::thread call([&] { result.set_value(plugin.fromFile(path)); });
            if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
                // Opened without O_NONBLOCK, the FIFO waits for a writer: give it one.
                close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
                call.join();
                ADD_FAILURE() << "the call blocked";
                continue;
            }
            call.join();
            EXPECT_EQ(answer.get(), SPI_FILE_READ_ERROR);
        }
}

TEST_F(PluginLimits, DecodersGiveTheLibrariesOwnPixels) {
    for (const char* tool : {"convert", "heif-enc"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is missing (scripts/setup.sh --test)";
    // Sources of an odd size: plain, with alpha rising to the right, 16 bits deep.
    std::filesystem::create_directories(dir.file("pics"));
    const QImage source = formatSource(63, 45);
    QImage alpha = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x)
            alpha.setPixel(x, y, (alpha.pixel(x, y) & 0xFFFFFF) | (x * 4u << 24));
    const QString plain = QString::fromStdString(dir.file("pics/plain.png"));
    const QString transparent = QString::fromStdString(dir.file("pics/alpha.png"));
    const QString deep = QString::fromStdString(dir.file("pics/deep.png"));
    ASSERT_TRUE(source.save(plain) && alpha.save(transparent) &&
                source.convertToFormat(QImage::Format_RGBX64).save(deep));
    // A bottom-up page beyond 2^22 pixels: more than one band.
    const QStringList tall = {"-size",   "2048x2100",   "gradient:", "-depth", "8",
                              "-orient", "bottom-left", "-compress", "lzw"};
    struct Case {
        std::string filter, name;
        QStringList arguments; // of convert or heif-enc; OUT: the file made
    };
    const std::vector<Case> cases = {
        {"tiff", "RGB, LZW strips", {plain, "-compress", "lzw", "OUT"}},
        {"tiff",
         "RGB, one deflate strip",
         {plain, "-compress", "zip", "-define", "tiff:rows-per-strip=45", "OUT"}},
        {"tiff",
         "RGB, one raw strip",
         {plain, "-compress", "none", "-define", "tiff:rows-per-strip=45", "OUT"}},
        {"tiff", "RGB, 16 bits", {plain, "-depth", "16", "OUT"}},
        {"tiff", "alpha", {transparent, "-compress", "lzw", "OUT"}},
        {"tiff", "associated alpha", {transparent, "-define", "tiff:alpha=associated", "OUT"}},
        {"tiff", "palette", {plain, "-colors", "16", "-type", "Palette", "OUT"}},
        {"tiff",
         "1 bit, white is 0",
         {plain, "-monochrome", "-define", "tiff:photometric=min-is-white", "OUT"}},
        {"tiff", "JPEG", {plain, "-compress", "jpeg", "OUT"}},
        {"tiff", "tiles", {plain, "-define", "tiff:tile-geometry=16x16", "OUT"}},
        {"tiff", "separate planes", {plain, "-interlace", "plane", "-compress", "lzw", "OUT"}},
        {"tiff", "top right", {plain, "-orient", "top-right", "OUT"}},
        {"tiff",
         "bottom right, tiles",
         {plain, "-orient", "bottom-right", "-define", "tiff:tile-geometry=16x16", "OUT"}},
        {"tiff", "bottom-up strip, taller than a band",
         tall + QStringList{"-define", "tiff:rows-per-strip=2100", "OUT"}},
        {"tiff", "bottom-up tiles, taller than a band",
         tall + QStringList{"-define", "tiff:tile-geometry=64x64", "OUT"}},
        {"heif", "4:2:0", {"-o", "OUT", plain}},
        {"heif", "4:4:4", {"-p", "chroma=444", "-o", "OUT", plain}},
        {"heif", "limited range", {"--full_range_flag=0", "-o", "OUT", plain}},
        {"heif", "alpha", {"-o", "OUT", transparent}},
        {"heif", "10 bits", {"-o", "OUT", deep}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter + " " + c.name);
        const bool tiff = c.filter == "tiff";
        const std::string path = dir.file("pics/" + c.name + (tiff ? ".tif" : ".heic"));
        QStringList arguments = c.arguments;
        arguments.replaceInStrings(QStringLiteral("OUT"), QString::fromStdString(path));
        ASSERT_EQ(
            runProgram(tiff ? QStringLiteral("convert") : QStringLiteral("heif-enc"), arguments),
            0);
        int depth = 8;
        const std::vector<unsigned char> expected =
            tiff ? libtiffPixels(path) : libheifPixels(path, &depth);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(depth, c.name == "10 bits" ? 10 : 8);
        ShippedFilter& plugin = filter(c.filter);
        ASSERT_EQ(plugin.fromFile(path), SPI_SUCCESS);
        EXPECT_EQ(differingBytes(packed(rowsOf(plugin)), expected), 0u);
    }
}

TEST_F(PluginLimits, AFileTooBigToHoldDecodesWhenItsPictureIsSmall) {
    ManagerScope m;
    m.search(shippedPluginFolder() + "/*.spi");
    const std::vector<FormatPicture> pictures = makeFormatPictures(dir, 64, 48);
    if (pictures.empty())
        GTEST_SKIP() << "ImageMagick, heif-enc or avifenc is missing (scripts/setup.sh --test)";
    // Formats whose libraries read as they go; WebP, HEIF and AVIF are held whole.
    for (const char* name : {"PNG", "PNG interlaced", "GIF", "TIFF"}) {
        SCOPED_TRACE(name);
        const auto p = std::find_if(pictures.begin(), pictures.end(),
                                    [&](const FormatPicture& f) { return f.name == name; });
        ASSERT_NE(p, pictures.end());
        // 8 GiB of nothing after the picture: more than the helper's address space.
        const std::string path =
            p->path + ".big" + std::filesystem::path(p->path).extension().string();
        std::filesystem::copy_file(p->path, path);
        std::filesystem::resize_file(path, 8ULL << 30);
        TSPIGraphic graphic;
        EXPECT_NO_THROW(graphic.loadFromFile(path));
        EXPECT_EQ(graphic.image().size(), QSize(64, 48));
    }
}

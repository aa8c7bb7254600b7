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

// A TIFF page of a pattern in the given layout, written by libtiff.
struct TiffLayout {
    std::string name;
    int width, height;
    uint16_t compression, photometric, bits, samples;
    uint16_t extra = 0;         // 0, EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA
    uint32_t rowsPerStrip = 16; // 0: tiles of 16 x 16
    bool planes = false;        // separate planes
    uint16_t orientation = ORIENTATION_TOPLEFT;
};
void writeTiff(const std::string& path, const TiffLayout& l) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, l.orientation);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 l.planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (l.extra) {
        uint16_t kind = l.extra;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> r(256), g(256), b(256);
        for (int i = 0; i < 256; ++i) {
            r[i] = static_cast<uint16_t>(i * 257);
            g[i] = static_cast<uint16_t>((255 - i) * 257);
            b[i] = static_cast<uint16_t>((i * 7 % 256) * 257);
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if (l.compression == COMPRESSION_JPEG)
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (l.rowsPerStrip) {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
    } else {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
    }
    // Whole rows of every sample, then written as the layout asks.
    const int perRow = l.planes ? 1 : l.samples;
    const std::size_t rowBytes = (static_cast<std::size_t>(l.width) * perRow * l.bits + 7) / 8;
    const auto sample = [&](int x, int y, int s) {
        return static_cast<unsigned>(x * 37 + y * 91 + s * 1000 + (x * y) % 17) %
               (1u << std::min<int>(l.bits, 16));
    };
    const auto fillRow = [&](std::vector<unsigned char>& row, int y, int plane) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < l.width; ++x)
            for (int s = 0; s < perRow; ++s) {
                const unsigned v = sample(x, y, l.planes ? plane : s);
                const std::size_t bit = (static_cast<std::size_t>(x) * perRow + s) * l.bits;
                if (l.bits == 16)
                    std::memcpy(&row[bit / 8], &v, 2);
                else if (l.bits == 8)
                    row[bit / 8] = static_cast<unsigned char>(v);
                else
                    row[bit / 8] |= static_cast<unsigned char>((v & 1) << (7 - bit % 8));
            }
    };
    std::vector<unsigned char> row(rowBytes);
    const int planes = l.planes ? l.samples : 1;
    if (l.rowsPerStrip) {
        for (int p = 0; p < planes; ++p)
            for (int y = 0; y < l.height; ++y) {
                fillRow(row, y, p);
                ASSERT_GE(TIFFWriteScanline(tiff, row.data(), y, static_cast<uint16_t>(p)), 0);
            }
    } else {
        std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
        const std::size_t tileRow = tile.size() / 16;
        std::vector<std::vector<unsigned char>> band(16, row);
        for (int ty = 0; ty < l.height; ty += 16) {
            for (int y = ty; y < std::min(ty + 16, l.height); ++y)
                fillRow(band[static_cast<std::size_t>(y - ty)], y, 0);
            for (int tx = 0; tx < l.width; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                const std::size_t from = static_cast<std::size_t>(tx) * perRow * l.bits / 8;
                for (int y = ty; y < std::min(ty + 16, l.height); ++y)
                    std::memcpy(&tile[static_cast<std::size_t>(y - ty) * tileRow],
                                &band[static_cast<std::size_t>(y - ty)][from],
                                std::min(tileRow, row.size() - from));
                ASSERT_GE(TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0), 0);
            }
        }
    }
    TIFFClose(tiff);
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
std::vector<unsigned char> libheifPixels(const std::string& path, int* width, int* bits) {
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
            *width = heif_image_get_width(image, heif_channel_interleaved);
            const int channels = alpha ? 4 : 3;
            for (int y = 0; y < heif_image_get_height(image, heif_channel_interleaved); ++y)
                for (int x = 0; x < *width; ++x) {
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
        EXPECT_NE(plugin.fromMemory(f.bytes), SPI_SUCCESS);
        EXPECT_FALSE(plugin.anyHandle());
        EXPECT_NE(plugin.fromFile(dir.write("hostile/file", f.bytes)), SPI_SUCCESS);
        EXPECT_FALSE(plugin.anyHandle());
        EXPECT_EQ(err.text(), "");
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
    const std::vector<TiffLayout> tiffs = {
        {"RGB, LZW strips", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 3},
        {"RGB, one deflate strip", 61, 47, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8, 3, 0, 47},
        {"RGB, one raw strip", 61, 47, COMPRESSION_NONE, PHOTOMETRIC_RGB, 8, 3, 0, 47},
        {"RGB, 16 bits", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 16, 3},
        {"RGBA unassociated", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 4,
         EXTRASAMPLE_UNASSALPHA},
        {"RGBA associated", 61, 47, COMPRESSION_NONE, PHOTOMETRIC_RGB, 8, 4,
         EXTRASAMPLE_ASSOCALPHA},
        {"palette", 61, 47, COMPRESSION_PACKBITS, PHOTOMETRIC_PALETTE, 8, 1},
        {"1 bit, white is 0", 61, 47, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE, 1, 1},
        {"grey", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, 8, 1},
        {"JPEG YCbCr", 64, 48, COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 8, 3},
        {"tiles", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 3, 0, 0},
        {"separate planes", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 3, 0, 16, true},
        {"top right", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 3, 0, 16, false,
         ORIENTATION_TOPRIGHT},
        {"bottom right, tiles", 61, 47, COMPRESSION_LZW, PHOTOMETRIC_RGB, 8, 3, 0, 0, false,
         ORIENTATION_BOTRIGHT},
        // Beyond 2^22 pixels, in more than one band.
        {"grey, bottom-up, taller than a band", 2048, 2100, COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK,
         8, 1, 0, 2100, false, ORIENTATION_BOTLEFT},
        {"grey tiles, bottom-up, taller than a band", 2048, 2100, COMPRESSION_LZW,
         PHOTOMETRIC_MINISBLACK, 8, 1, 0, 0, false, ORIENTATION_BOTLEFT},
    };
    for (const TiffLayout& l : tiffs) {
        SCOPED_TRACE("TIFF " + l.name);
        const std::string path = dir.file("tiff/" + l.name + ".tif");
        std::filesystem::create_directories(dir.file("tiff"));
        writeTiff(path, l);
        const std::vector<unsigned char> expected = libtiffPixels(path);
        ASSERT_FALSE(expected.empty());
        ShippedFilter& tiff = filter("tiff");
        ASSERT_EQ(tiff.fromFile(path), SPI_SUCCESS);
        EXPECT_EQ(differingBytes(packed(rowsOf(tiff)), expected), 0u);
    }

    if (QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty())
        GTEST_SKIP() << "heif-enc is missing (scripts/setup.sh --test)";
    const QImage source = formatSource(63, 45);
    QImage alpha = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x)
            alpha.setPixel(x, y, (alpha.pixel(x, y) & 0xFFFFFF) | (x * 4u << 24));
    const QString plain = QString::fromStdString(dir.file("heif/plain.png"));
    const QString transparent = QString::fromStdString(dir.file("heif/alpha.png"));
    std::filesystem::create_directories(dir.file("heif"));
    source.save(plain);
    alpha.save(transparent);
    QImage deep = source.convertToFormat(QImage::Format_RGBX64);
    const QString deepSource = QString::fromStdString(dir.file("heif/deep.png"));
    deep.save(deepSource);
    const std::vector<std::pair<std::string, QStringList>> heics = {
        {"4:2:0", {plain}},
        {"4:4:4", {QStringLiteral("-p"), QStringLiteral("chroma=444"), plain}},
        {"limited range", {QStringLiteral("--full_range_flag=0"), plain}},
        {"alpha", {transparent}},
        {"10 bits", {deepSource}},
    };
    for (const auto& [name, arguments] : heics) {
        SCOPED_TRACE("HEIC " + name);
        const std::string path = dir.file("heif/" + name + ".heic");
        ASSERT_EQ(runProgram(QStringLiteral("heif-enc"),
                             QStringList{QStringLiteral("-q"), QStringLiteral("70"),
                                         QStringLiteral("-o"), QString::fromStdString(path)} +
                                 arguments),
                  0);
        int width = 0;
        int bits = 0;
        const std::vector<unsigned char> expected = libheifPixels(path, &width, &bits);
        ASSERT_EQ(width, 63);
        EXPECT_EQ(bits, name == "10 bits" ? 10 : 8);
        ShippedFilter& heif = filter("heif");
        ASSERT_EQ(heif.fromFile(path), SPI_SUCCESS);
        EXPECT_EQ(differingBytes(packed(rowsOf(heif)), expected), 0u);
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

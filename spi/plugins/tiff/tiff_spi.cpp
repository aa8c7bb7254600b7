// TIFF import filter over libtiff: the first page, through libtiff's RGBA
// conversion (every photometric interpretation and compression libtiff knows),
// 32 bits, with alpha when the page has an alpha sample.
//
// Strips of interleaved samples, by far the most common layout, are read a few
// rows at a time with libtiff's scanline reader and converted by the routine
// libtiff's own RGBA reader picks, straight into the bitmap's rows: a page kept
// in one big strip needs no strip-sized buffer. Tiles, separate planes and
// subsampled YCbCr go through libtiff's RGBA reader in bands of whole tiles or
// strips, holding one tile or strip at a time. The file is read piece by piece
// through libtiff's client procedures; libtiff's allocations are capped and its
// messages go nowhere. A strip or tile that cannot be read fails the picture.
#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
#include <cstring>
#include <tiffio.h>
#include <vector>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{[] {
                                  std::string version = TIFFGetVersion();
                                  version = version.substr(0, version.find('\n'));
                                  return "Kelvora TIFF plug-in (" + version + ")";
                              }(),
                              {{"*.tif", "TIFF"}, {"*.tiff", "TIFF"}}};
    return i;
}

struct Source {
    const Input& in;
    toff_t at = 0;
};

tsize_t readProc(thandle_t h, tdata_t out, tsize_t size) {
    auto* s = static_cast<Source*>(h);
    const long long n = size > 0 ? s->in.read(s->at, out, static_cast<std::size_t>(size)) : 0;
    if (n > 0)
        s->at += static_cast<toff_t>(n);
    return static_cast<tsize_t>(n);
}
tsize_t writeProc(thandle_t, tdata_t, tsize_t) {
    return -1;
}
toff_t seekProc(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<Source*>(h);
    const toff_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->in.size() : 0;
    s->at = base + offset;
    return s->at;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t h) {
    return static_cast<Source*>(h)->in.size();
}
int mapProc(thandle_t, tdata_t*, toff_t*) {
    return 0;
}
void unmapProc(thandle_t, tdata_t, toff_t) {}

int quietHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: nothing is printed
}

struct File {
    explicit File(const Input& in) : source{in} {}
    Source source;
    TIFF* tiff = nullptr;
    ~File() {
        if (tiff)
            TIFFClose(tiff);
    }
    bool open() {
        // Messages about no file in particular go to the process-wide handlers.
        static const bool silenced = [] {
            TIFFSetErrorHandler(nullptr);
            TIFFSetWarningHandler(nullptr);
            return true;
        }();
        (void)silenced;
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            return false;
        // A strip or tile of 256 MiB is more than any picture the program takes needs.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{256} << 20);
        TIFFOpenOptionsSetErrorHandlerExtR(options, quietHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, quietHandler, nullptr);
        tiff = TIFFClientOpenExt("picture", "rm", &source, readProc, writeProc, seekProc, closeProc,
                                 sizeProc, mapProc, unmapProc, options);
        TIFFOpenOptionsFree(options);
        return tiff != nullptr;
    }
};

bool hasAlpha(TIFF* tiff) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds))
        return false;
    return std::any_of(kinds, kinds + count, [](uint16_t k) {
        return k == EXTRASAMPLE_ASSOCALPHA || k == EXTRASAMPLE_UNASSALPHA;
    });
}

// How libtiff turns the page's orientation into the top-left rows of the bitmap.
struct Flips {
    bool vertical = false;
    bool horizontal = false;
};
Flips flipsOf(uint16_t orientation) {
    switch (orientation) {
    case ORIENTATION_TOPRIGHT:
    case ORIENTATION_RIGHTTOP:
        return {false, true};
    case ORIENTATION_BOTRIGHT:
    case ORIENTATION_RIGHTBOT:
        return {true, true};
    case ORIENTATION_BOTLEFT:
    case ORIENTATION_LEFTBOT:
        return {true, false};
    default:
        return {};
    }
}

// libtiff's pixels are red, green, blue, alpha in memory; the bitmap's blue first.
void toBgra(Dib& dib, long long from, long long rows, long long width) {
    for (long long y = from; y < from + rows; ++y) {
        unsigned char* p = dib.row(y);
        for (long long x = 0; x < width; ++x, p += 4)
            std::swap(p[0], p[2]);
    }
}

// Rows read with the scanline reader, a group at a time, through the RGBA
// reader's own conversion routine.
int readRows(TIFF* tiff, TIFFRGBAImage& image, Dib& dib, Progress& progress) {
    const uint32_t width = image.width;
    const uint32_t height = image.height;
    const tmsize_t scanline = TIFFScanlineSize(tiff);
    if (scanline <= 0)
        return SPI_BROKEN_DATA;
    const Flips flips = flipsOf(image.orientation);
    const auto group = static_cast<uint32_t>(std::clamp<tmsize_t>((1 << 20) / scanline, 1, 64));
    std::vector<unsigned char> samples;
    try {
        samples.resize(static_cast<std::size_t>(scanline) * group);
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    }
    // Upward through the bitmap for pages stored bottom-up.
    const int32_t toskew = flips.vertical ? -2 * static_cast<int32_t>(width) : 0;
    for (uint32_t row = 0; row < height;) {
        const uint32_t rows = std::min(group, height - row);
        for (uint32_t i = 0; i < rows; ++i)
            if (TIFFReadScanline(tiff, samples.data() + static_cast<std::size_t>(scanline) * i,
                                 row + i, 0) < 0)
                return SPI_BROKEN_DATA;
        const uint32_t y = flips.vertical ? height - 1 - row : row;
        image.put.contig(&image, reinterpret_cast<uint32_t*>(dib.row(y)), 0, y, width, rows, 0,
                         toskew, samples.data());
        const uint32_t top = flips.vertical ? y + 1 - rows : y;
        if (flips.horizontal)
            for (uint32_t i = top; i < top + rows; ++i) {
                auto* pixels = reinterpret_cast<uint32_t*>(dib.row(i));
                std::reverse(pixels, pixels + width);
            }
        toBgra(dib, top, rows, width);
        row += rows;
        if (progress.report(row, height))
            return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

// The RGBA reader in bands of whole tiles or strips, so that none is decoded twice.
int readBands(TIFF* tiff, TIFFRGBAImage& image, Dib& dib, Progress& progress) {
    const long long width = image.width;
    const long long height = image.height;
    uint32_t unit = 0;
    if (!(TIFFIsTiled(tiff) ? TIFFGetField(tiff, TIFFTAG_TILELENGTH, &unit)
                            : TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &unit)) ||
        unit == 0)
        return SPI_BROKEN_DATA;
    const long long band =
        std::min<long long>(height, unit * std::max<long long>(1, (1 << 20) / (unit * width)));
    const bool bottomUp = flipsOf(image.orientation).vertical;
    for (long long y = 0; y < height; y += band) {
        const long long rows = std::min(band, height - y);
        image.row_offset = static_cast<int>(y);
        image.col_offset = 0;
        // The reader turns a bottom-up band over in place; the bands go bottom-up too.
        const long long top = bottomUp ? height - y - rows : y;
        if (!TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(dib.row(top)),
                              static_cast<uint32_t>(width), static_cast<uint32_t>(rows)))
            return SPI_BROKEN_DATA;
        toBgra(dib, top, rows, width);
        if (progress.report(y + rows, height))
            return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

int decode(TIFF* tiff, Dib& dib, Progress& progress) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message))
        return SPI_UNKNOWN_FORMAT;
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tiff, 1, message))
        return SPI_BROKEN_DATA;
    struct End {
        TIFFRGBAImage* image;
        ~End() { TIFFRGBAImageEnd(image); }
    } end{&image};
    const long long width = image.width;
    const long long height = image.height;
    if (const int error = dib.create(width, height, hasAlpha(tiff) ? Dib::kBgra32 : Dib::kBgrx32))
        return error;
    image.req_orientation = ORIENTATION_TOPLEFT;
    // Subsampled YCbCr rows are not whole pixels; the RGBA reader takes whole strips of them.
    const bool byRows = !TIFFIsTiled(tiff) && image.isContig && image.put.contig &&
                        image.photometric != PHOTOMETRIC_YCBCR;
    return byRows ? readRows(tiff, image, dib, progress) : readBands(tiff, image, dib, progress);
}

bool isTiff(const void* header) {
    return startsWith(header, "II*\0", 4) || startsWith(header, "MM\0*", 4) ||
           startsWith(header, "II+\0", 4) || startsWith(header, "MM\0+", 4);
}

int tiffInfo(const Input& in, PictureInfo* info) {
    File file(in);
    if (!file.open())
        return SPI_UNKNOWN_FORMAT;
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1;
    TIFFGetField(file.tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(file.tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(file.tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(file.tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    fillPictureInfo(info, width, height, bits * samples);
    return SPI_SUCCESS;
}

int tiffDecode(const Input& in, Dib& dib, Progress& progress) {
    File file(in);
    if (!file.open())
        return SPI_UNKNOWN_FORMAT;
    return decode(file.tiff, dib, progress);
}

const Filter filter{info, isTiff, tiffInfo, tiffDecode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

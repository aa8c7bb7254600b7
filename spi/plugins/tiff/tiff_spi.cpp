// TIFF import filter over libtiff: the first page, through libtiff's RGBA
// reader (every photometric interpretation and compression libtiff knows),
// 32 bits, with alpha when the page has an alpha sample. Read in bands of
// rows, with progress after each band. libtiff's own allocations are capped.
#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
#include <cstring>
#include <tiffio.h>

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

struct Memory {
    const unsigned char* data;
    toff_t size;
    toff_t at;
};

tsize_t readProc(thandle_t h, tdata_t out, tsize_t size) {
    auto* m = static_cast<Memory*>(h);
    const toff_t n =
        std::min<toff_t>(static_cast<toff_t>(size), m->size - std::min(m->at, m->size));
    std::memcpy(out, m->data + m->at, n);
    m->at += n;
    return static_cast<tsize_t>(n);
}
tsize_t writeProc(thandle_t, tdata_t, tsize_t) {
    return -1;
}
toff_t seekProc(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<Memory*>(h);
    const toff_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->size : 0;
    m->at = base + offset;
    return m->at;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t h) {
    return static_cast<Memory*>(h)->size;
}
int mapProc(thandle_t, tdata_t*, toff_t*) {
    return 0;
}
void unmapProc(thandle_t, tdata_t, toff_t) {}

int quietHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: nothing is printed
}

struct File {
    Memory memory{};
    TIFF* tiff = nullptr;
    ~File() {
        if (tiff)
            TIFFClose(tiff);
    }
    bool open(const Input& in) {
        memory = {in.data(), in.size(), 0};
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            return false;
        // A strip or tile of 256 MiB is more than any picture the program takes needs.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{256} << 20);
        TIFFOpenOptionsSetErrorHandlerExtR(options, quietHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, quietHandler, nullptr);
        tiff = TIFFClientOpenExt("picture", "rm", &memory, readProc, writeProc, seekProc, closeProc,
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

int decode(TIFF* tiff, Dib& dib, Progress& progress) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message))
        return SPI_UNKNOWN_FORMAT;
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tiff, 0, message))
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
    const long long band = std::max<long long>(1, (1 << 22) / width); // about 16 MiB a band
    for (long long y = 0; y < height; y += band) {
        const long long rows = std::min(band, height - y);
        image.row_offset = static_cast<int>(y);
        image.col_offset = 0;
        auto* raster = reinterpret_cast<uint32_t*>(dib.row(y));
        if (!TIFFRGBAImageGet(&image, raster, static_cast<uint32_t>(width),
                              static_cast<uint32_t>(rows)))
            return SPI_BROKEN_DATA;
        // libtiff's pixels are red, green, blue, alpha in memory; the bitmap's blue first.
        auto* p = reinterpret_cast<unsigned char*>(raster);
        for (long long i = 0; i < width * rows; ++i, p += 4)
            std::swap(p[0], p[2]);
        if (progress.report(y + rows, height))
            return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

bool isTiff(const void* header) {
    return startsWith(header, "II*\0", 4) || startsWith(header, "MM\0*", 4) ||
           startsWith(header, "II+\0", 4) || startsWith(header, "MM\0+", 4);
}

int tiffInfo(const Input& in, PictureInfo* info) {
    File file;
    if (!file.open(in))
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
    File file;
    if (!file.open(in))
        return SPI_UNKNOWN_FORMAT;
    return decode(file.tiff, dib, progress);
}

const Filter filter{info, isTiff, tiffInfo, tiffDecode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

// PNG import filter over libpng. Palette pictures without transparency stay
// 8-bit with their palette, grey ones become 8-bit grey; the others become
// 24-bit, or 32-bit with alpha when the picture has transparency. Progress is
// reported every 64 rows (of every pass for interlaced pictures).
//
// The file is read through libpng's read callback a piece at a time, and the
// rows go straight into the bitmap: besides the bitmap, a decode holds two of
// libpng's rows and its inflate window. Chunks whose contents the bitmap never
// uses (texts, profiles, metadata) are skipped unread whatever length they
// declare, so a file cannot make libpng allocate for them.
#include "spi/plugins/kit/plugin_kit.h"

#include <csetjmp>
#include <png.h>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{std::string("Kelvora PNG plug-in (libpng ") +
                                  png_get_libpng_ver(nullptr) + ")",
                              {{"*.png", "PNG"}}};
    return i;
}

struct Source {
    Reader reader;
    int error; // the SPI_ code a longjmp returns
};

void readData(png_structp png, png_bytep out, png_size_t length) {
    if (!static_cast<Source*>(png_get_io_ptr(png))->reader.read(out, length))
        png_error(png, "truncated");
}

void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// Chunks the bitmap does not need, skipped as libpng skips unknown ones.
const png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0pCAL\0sCAL\0eXIf";

// Everything touched after setjmp lives in these structs, outside the jumping frame.
struct Decoder {
    explicit Decoder(const Input& in) : source{Reader(in), SPI_BROKEN_DATA} {}
    png_structp png = nullptr;
    png_infop info = nullptr;
    Source source;
    ~Decoder() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Reads the header; false (with an error code) when it is not a PNG libpng accepts.
bool begin(Decoder& d) {
    png_byte signature[8];
    if (!d.source.reader.read(signature, sizeof signature) ||
        png_sig_cmp(signature, 0, sizeof signature) != 0) {
        d.source.error = SPI_UNKNOWN_FORMAT;
        return false;
    }
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!d.png || !(d.info = png_create_info_struct(d.png))) {
        d.source.error = SPI_NO_MEMORY;
        return false;
    }
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &d.source, readData);
    png_set_sig_bytes(d.png, sizeof signature);
    // libpng only warns about a chunk beyond its size limit and then reads it whole,
    // so the chunks that could be big are not read at all; the limits guard the rest.
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                static_cast<int>(sizeof kSkippedChunks / 5));
    png_set_chunk_malloc_max(d.png, 1 << 20);
    png_set_chunk_cache_max(d.png, 64);
    // Sides beyond what the program accepts stop at the header.
    png_set_user_limits(d.png, static_cast<png_uint_32>(kMaxSide),
                        static_cast<png_uint_32>(kMaxSide));
    png_read_info(d.png, d.info);
    return true;
}

int decode(Decoder& d, Dib& dib, Progress& progress) {
    if (setjmp(png_jmpbuf(d.png)))
        return d.source.error;
    png_structp png = d.png;
    png_infop info = d.info;
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    if (!withinLimits(width, height))
        return SPI_NO_MEMORY; // before libpng sizes its row buffers
    png_set_strip_16(png);
    Dib::Kind kind;
    int colors = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !transparency) {
        png_set_packing(png);
        kind = Dib::kIndexed8;
        png_colorp palette = nullptr;
        png_get_PLTE(png, info, &palette, &colors);
    } else if (colorType == PNG_COLOR_TYPE_GRAY && !transparency) {
        png_set_expand_gray_1_2_4_to_8(png);
        kind = Dib::kIndexed8;
        colors = 256;
    } else {
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) || transparency;
        kind = alpha ? Dib::kBgra32 : Dib::kBgr24;
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    d.source.error = dib.create(width, height, kind, colors);
    if (d.source.error != SPI_SUCCESS)
        return d.source.error;
    // The rows libpng will write must fit the bitmap's.
    if (png_get_rowbytes(png, info) > dib.stride())
        return SPI_INTERNAL_ERROR;
    d.source.error = SPI_BROKEN_DATA;
    if (kind == Dib::kIndexed8) {
        RGBQUAD* table = dib.colors();
        png_colorp palette = nullptr;
        int count = 0;
        if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &count))
            for (int i = 0; i < count && i < colors; ++i)
                table[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
        else
            for (int i = 0; i < 256; ++i)
                table[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                            static_cast<uint8_t>(i), 0};
    }
    const long long total = static_cast<long long>(passes) * height;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, dib.row(y), nullptr);
            const long long done = static_cast<long long>(pass) * height + y + 1;
            if ((done % 64 == 0 || done == total) && progress.report(done, total))
                return SPI_ABORT;
        }
    return SPI_SUCCESS;
}

bool isPng(const void* header) {
    return startsWith(header, "\x89PNG\r\n\x1a\n", 8);
}

int pngInfo(const Input& in, PictureInfo* info) {
    Decoder d(in);
    if (!begin(d))
        return d.source.error;
    const int channels = png_get_channels(d.png, d.info);
    fillPictureInfo(info, png_get_image_width(d.png, d.info), png_get_image_height(d.png, d.info),
                    png_get_bit_depth(d.png, d.info) * channels);
    return SPI_SUCCESS;
}

int pngDecode(const Input& in, Dib& dib, Progress& progress) {
    Decoder d(in);
    if (!begin(d))
        return d.source.error;
    return decode(d, dib, progress);
}

const Filter filter{info, isPng, pngInfo, pngDecode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

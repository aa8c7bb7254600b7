// HEIF/HEIC import filter over libheif: the primary image, with its rotation
// and mirroring applied, 24 bits or 32 with alpha; GetPreview gives the largest
// thumbnail the file carries for it. libheif reports progress
// for pictures made of tiles; the conversion into the bitmap reports the rest.
//
// libheif (1.15) decodes to YCbCr and then turns every picture into planes of
// red, green and blue before it hands it out (asked for YCbCr, it converts those
// planes back); asked for interleaved rows, it makes one more whole copy. 8-bit
// pictures are therefore taken as the planes and interleaved here row by row
// straight into the bitmap: the same bytes, as libheif's interleaving only
// copies, and one whole copy and pass fewer. The planes' pages go back to the
// system as their rows reach the bitmap, so the helper's peak is libheif's own:
// the YCbCr picture and the planes while it converts. Pictures deeper than 8
// bits, or planes of another shape, are reduced and interleaved by libheif as
// before.
//
// Nothing much larger than the picture the file declares is allocated: sides
// above kMaxSide are refused while the file is read, and so are grids, overlays
// and coded pictures beyond the declared picture (heif_canvas.h).
#include "spi/plugins/heif/heif_canvas.h"
#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
#include <libheif/heif.h>
#include <optional>
#include <vector>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{std::string("Kelvora HEIF plug-in (libheif ") + heif_get_version() +
                                  ")",
                              {{"*.heic", "HEIF (HEVC)"}, {"*.heif", "HEIF"}}};
    return i;
}

// libheif reads the file through the input as it needs it: the boxes once, the
// coded picture when it decodes. Nothing keeps the whole file in memory beside
// the pictures libheif makes.
struct FileReader {
    const Input* in;
    std::uint64_t position = 0;

    static int64_t getPosition(void* self) {
        return static_cast<int64_t>(static_cast<FileReader*>(self)->position);
    }
    static int read(void* data, size_t size, void* self) {
        auto* r = static_cast<FileReader*>(self);
        if (r->in->read(r->position, data, size) != static_cast<long long>(size))
            return 1;
        r->position += size;
        return 0;
    }
    static int seek(int64_t position, void* self) {
        auto* r = static_cast<FileReader*>(self);
        if (position < 0 || static_cast<std::uint64_t>(position) > r->in->size())
            return 1;
        r->position = static_cast<std::uint64_t>(position);
        return 0;
    }
    static heif_reader_grow_status waitForFileSize(int64_t target, void* self) {
        return target >= 0 && static_cast<std::uint64_t>(target) <=
                                  static_cast<FileReader*>(self)->in->size()
                   ? heif_reader_grow_status_size_reached
                   : heif_reader_grow_status_size_beyond_eof;
    }
    static constexpr heif_reader api{1, getPosition, read, seek, waitForFileSize};
};

// The pixels of the largest picture the file declares, each side with the margin.
std::uint64_t mostDeclaredPixels(heif_context* context, int margin) {
    const int count = heif_context_get_number_of_top_level_images(context);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count);
    std::uint64_t most = 0;
    for (const heif_item_id id : ids) {
        heif_image_handle* image = nullptr;
        if (heif_context_get_image_handle(context, id, &image).code != heif_error_Ok)
            continue;
        const auto side = [&](int length) {
            return static_cast<std::uint64_t>(std::max(length, 0) + margin);
        };
        most = std::max(most, side(heif_image_handle_get_width(image)) *
                                  side(heif_image_handle_get_height(image)));
        heif_image_handle_release(image);
    }
    return most;
}

struct Context {
    heif_context* context = nullptr;
    heif_image_handle* handle = nullptr;
    FileReader reader{};
    ~Context() { close(); }
    bool open(const Input& in) {
        if (!(context = heif_context_alloc()))
            return false;
        heif_context_set_maximum_image_size_limit(context, static_cast<int>(kMaxSide));
        reader.in = &in;
        if (heif_context_read_from_reader(context, &FileReader::api, &reader, nullptr).code !=
                heif_error_Ok ||
            heif_context_get_primary_image_handle(context, &handle).code != heif_error_Ok)
            return false;
        // A grid, an overlay or a coded picture has the size its own data gives, which
        // a few bytes can make far larger than the picture the file declares. They
        // may exceed it only by what cropping takes off (coded blocks, the tiles of
        // a grid), so nothing much larger than the declared picture is allocated.
        constexpr int kCroppedMargin = 512;
        const int side =
            std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
        if (side < 1)
            return false;
        heif_context_set_maximum_image_size_limit(
            context, static_cast<int>(std::min<long long>(side + kCroppedMargin, kMaxSide)));
        // Nor a grid's or an overlay's canvas of more pixels than the largest picture
        // the file declares, which the sides alone would let through.
        const std::optional<std::vector<CanvasSize>> canvases = DerivedCanvases(in);
        if (!canvases)
            return false;
        const std::uint64_t most = mostDeclaredPixels(context, kCroppedMargin);
        for (const CanvasSize& canvas : *canvases)
            if (canvas.width > 0 && canvas.height > most / canvas.width)
                return false;
        return true;
    }
    // The file's boxes and the decoder are not needed once the picture is decoded.
    void close() {
        heif_image_handle_release(handle);
        heif_context_free(context);
        handle = nullptr;
        context = nullptr;
    }
};

struct Image {
    heif_image* image = nullptr;
    ~Image() { heif_image_release(image); }
};

struct Steps {
    Progress* progress;
    int total = 1;
};
void startSteps(heif_progress_step, int max, void* data) {
    static_cast<Steps*>(data)->total = max > 0 ? max : 1;
}
void onStep(heif_progress_step, int done, void* data) {
    auto* steps = static_cast<Steps*>(data);
    steps->progress->report(done, 2LL * steps->total); // the conversion is the other half
}
void endSteps(heif_progress_step, void*) {}

int decodeAs(heif_image_handle* handle, heif_colorspace colorspace, heif_chroma chroma,
             Steps& steps, Image& out) {
    heif_decoding_options* options = heif_decoding_options_alloc();
    if (!options)
        return SPI_NO_MEMORY;
    options->start_progress = startSteps;
    options->on_progress = onStep;
    options->end_progress = endSteps;
    options->progress_user_data = &steps;
    const heif_error error = heif_decode_image(handle, &out.image, colorspace, chroma, options);
    heif_decoding_options_free(options);
    if (error.code == heif_error_Ok)
        return SPI_SUCCESS;
    return error.code == heif_error_Memory_allocation_error ? SPI_NO_MEMORY : SPI_BROKEN_DATA;
}

// The planes of an 8-bit picture as libheif decoded them, for interleaving.
struct Planes {
    const uint8_t* plane[4] = {}; // red, green, blue, alpha
    int stride[4] = {};
    int width = 0;
    int height = 0;
    // False when the picture is not 8-bit red, green and blue (and alpha) of one size.
    bool take(const heif_image* image, bool alpha) {
        const heif_channel channels[] = {heif_channel_R, heif_channel_G, heif_channel_B,
                                         heif_channel_Alpha};
        width = heif_image_get_width(image, heif_channel_R);
        height = heif_image_get_height(image, heif_channel_R);
        for (int c = 0; c < (alpha ? 4 : 3); ++c) {
            // libheif asserts on questions about a channel the picture does not have.
            if (!heif_image_has_channel(image, channels[c]) ||
                heif_image_get_bits_per_pixel(image, channels[c]) != 8 ||
                heif_image_get_width(image, channels[c]) != width ||
                heif_image_get_height(image, channels[c]) != height)
                return false;
            plane[c] = heif_image_get_plane_readonly(image, channels[c], &stride[c]);
            if (!plane[c])
                return false;
        }
        return width > 0 && height > 0;
    }
};

int interleave(const Planes& p, bool alpha, Dib& dib, Progress& progress) {
    if (const int created = dib.create(p.width, p.height, alpha ? Dib::kBgra32 : Dib::kBgr24))
        return created;
    const int channels = alpha ? 4 : 3;
    for (long long y = 0; y < p.height; ++y) {
        const uint8_t* r = p.plane[0] + y * p.stride[0];
        const uint8_t* g = p.plane[1] + y * p.stride[1];
        const uint8_t* b = p.plane[2] + y * p.stride[2];
        const uint8_t* a = alpha ? p.plane[3] + y * p.stride[3] : nullptr;
        unsigned char* to = dib.row(y);
        for (int x = 0; x < p.width; ++x, to += channels) {
            to[0] = b[x];
            to[1] = g[x];
            to[2] = r[x];
            if (a)
                to[3] = a[x];
        }
        if ((y + 1) % 256 == 0) {
            // The planes' rows read so far are not needed again: without them the
            // picture is held once, not twice, while the bitmap fills.
            for (int c = 0; c < (alpha ? 4 : 3); ++c)
                releaseReadRows(p.plane[c], p.plane[c] + (y + 1) * p.stride[c]);
            if (progress.report(p.height + y + 1, 2LL * p.height))
                return SPI_ABORT;
        }
    }
    return SPI_SUCCESS;
}

// libheif's own conversion to interleaved RGB, copied into the bitmap.
int copyInterleaved(const heif_image* rgb, bool alpha, Dib& dib, Progress& progress) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(rgb, heif_channel_interleaved, &stride);
    const long long w = heif_image_get_width(rgb, heif_channel_interleaved);
    const long long h = heif_image_get_height(rgb, heif_channel_interleaved);
    if (!plane || w < 1 || h < 1)
        return SPI_BROKEN_DATA;
    if (const int created = dib.create(w, h, alpha ? Dib::kBgra32 : Dib::kBgr24))
        return created;
    const int channels = alpha ? 4 : 3;
    for (long long y = 0; y < h; ++y) {
        const uint8_t* from = plane + y * stride;
        unsigned char* to = dib.row(y);
        for (long long x = 0; x < w; ++x, from += channels, to += channels) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            if (alpha)
                to[3] = from[3];
        }
        if ((y + 1) % 256 == 0 && progress.report(h + y + 1, 2 * h))
            return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

// Decodes the picture of the handle, which belongs to c's file, into the bitmap.
int decodeHandle(Context& c, heif_image_handle* handle, Dib& dib, Progress& progress) {
    const long long width = heif_image_handle_get_width(handle);
    const long long height = heif_image_handle_get_height(handle);
    if (width < 1 || height < 1)
        return SPI_BROKEN_DATA;
    if (!withinLimits(width, height))
        return SPI_NO_MEMORY;
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    const bool eightBits = heif_image_handle_get_luma_bits_per_pixel(handle) == 8 &&
                           heif_image_handle_get_chroma_bits_per_pixel(handle) == 8;
    Steps steps{&progress};
    if (eightBits) {
        Image planar;
        Planes planes;
        if (const int error = decodeAs(handle, heif_colorspace_RGB, heif_chroma_444, steps, planar))
            return error;
        if (planes.take(planar.image, alpha)) {
            c.close();
            return interleave(planes, alpha, dib, progress);
        }
    }
    Image rgb;
    if (const int error = decodeAs(
            handle, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, steps, rgb))
        return error;
    c.close();
    return copyInterleaved(rgb.image, alpha, dib, progress);
}

int decode(const Input& in, Dib& dib, Progress& progress) {
    Context c;
    if (!c.open(in))
        return SPI_BROKEN_DATA;
    return decodeHandle(c, c.handle, dib, progress);
}

// Cameras and phones store a small version of every photo beside it, which
// decodes in a fraction of the time; the largest one the file has is returned.
int decodePreview(const Input& in, Dib& dib, Progress& progress) {
    Context c;
    if (!c.open(in))
        return SPI_BROKEN_DATA;
    const int count = heif_image_handle_get_number_of_thumbnails(c.handle);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_thumbnail_IDs(c.handle, ids.data(), count);
    heif_image_handle* largest = nullptr;
    long long largestPixels = 0;
    for (const heif_item_id id : ids) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(c.handle, id, &thumbnail).code != heif_error_Ok)
            continue;
        const long long pixels = static_cast<long long>(heif_image_handle_get_width(thumbnail)) *
                                 heif_image_handle_get_height(thumbnail);
        if (pixels > largestPixels) {
            heif_image_handle_release(largest);
            largest = thumbnail;
            largestPixels = pixels;
        } else {
            heif_image_handle_release(thumbnail);
        }
    }
    if (!largest)
        return SPI_NOT_IMPLEMENTED;
    // The thumbnail's handle keeps what it needs of the file while the context closes.
    const int result = decodeHandle(c, largest, dib, progress);
    heif_image_handle_release(largest);
    return result;
}

bool isHeif(const void* header) {
    const auto* bytes = static_cast<const uint8_t*>(header);
    if (heif_check_filetype(bytes, 2048) == heif_filetype_no)
        return false;
    // AVIF files are HEIF too; they have their own filter.
    const heif_brand brand = heif_main_brand(bytes, 2048);
    return brand != heif_unknown_brand && brand != heif_avif && brand != heif_avis;
}

int heifInfo(const Input& in, PictureInfo* info) {
    Context c;
    if (!c.open(in))
        return SPI_UNKNOWN_FORMAT;
    const bool alpha = heif_image_handle_has_alpha_channel(c.handle) != 0;
    fillPictureInfo(info, heif_image_handle_get_width(c.handle),
                    heif_image_handle_get_height(c.handle), alpha ? 32 : 24);
    return SPI_SUCCESS;
}

const Filter filter{info, isHeif, heifInfo, decode, decodePreview};

} // namespace

KELVORA_IMPORT_FILTER_WITH_PREVIEW(filter)

// HEIF/HEIC import filter over libheif: the primary image, with its rotation
// and mirroring applied, 24 bits or 32 with alpha. libheif reports progress
// for pictures made of tiles; the copy into the bitmap reports the rest.
#include "spi/plugins/kit/plugin_kit.h"

#include <cstring>
#include <libheif/heif.h>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{std::string("Kelvora HEIF plug-in (libheif ") + heif_get_version() +
                                  ")",
                              {{"*.heic", "HEIF (HEVC)"}, {"*.heif", "HEIF"}}};
    return i;
}

struct Context {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    ~Context() {
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
    bool open(const Input& in) {
        if (!context)
            return false;
        // Sides beyond this are refused while the file is read, before any decoding.
        heif_context_set_maximum_image_size_limit(context, 1 << 20);
        return heif_context_read_from_memory_without_copy(context, in.data(), in.size(), nullptr)
                       .code == heif_error_Ok &&
               heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok;
    }
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
    steps->progress->report(done, 2LL * steps->total); // the copy is the other half
}
void endSteps(heif_progress_step, void*) {}

int decode(const Input& in, Dib& dib, Progress& progress) {
    Context c;
    if (!c.open(in))
        return SPI_BROKEN_DATA;
    const long long width = heif_image_handle_get_width(c.handle);
    const long long height = heif_image_handle_get_height(c.handle);
    if (width < 1 || height < 1)
        return SPI_BROKEN_DATA;
    if (width * height > kMaxPixels)
        return SPI_NO_MEMORY;
    const bool alpha = heif_image_handle_has_alpha_channel(c.handle) != 0;

    Steps steps{&progress};
    heif_decoding_options* options = heif_decoding_options_alloc();
    if (!options)
        return SPI_NO_MEMORY;
    options->start_progress = startSteps;
    options->on_progress = onStep;
    options->end_progress = endSteps;
    options->progress_user_data = &steps;
    const heif_error error = heif_decode_image(
        c.handle, &c.image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    if (error.code != heif_error_Ok)
        return error.code == heif_error_Memory_allocation_error ? SPI_NO_MEMORY : SPI_BROKEN_DATA;

    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(c.image, heif_channel_interleaved, &stride);
    const long long w = heif_image_get_width(c.image, heif_channel_interleaved);
    const long long h = heif_image_get_height(c.image, heif_channel_interleaved);
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

const Filter filter{info, isHeif, heifInfo, decode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

// AVIF import filter over libavif: the first image, converted from YUV
// straight into the bitmap, 24 bits or 32 with alpha. libavif's own limits
// refuse pictures above the program's picture size before decoding.
#include "spi/plugins/kit/plugin_kit.h"

#include <avif/avif.h>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{std::string("Kelvora AVIF plug-in (libavif ") + avifVersion() + ")",
                              {{"*.avif", "AVIF"}}};
    return i;
}

struct Decoder {
    avifDecoder* decoder = avifDecoderCreate();
    ~Decoder() {
        if (decoder)
            avifDecoderDestroy(decoder);
    }
    bool open(const Input& in) {
        if (!decoder)
            return false;
        decoder->imageSizeLimit = static_cast<uint32_t>(kMaxPixels);
        decoder->maxThreads = 2;
        decoder->strictFlags = AVIF_STRICT_DISABLED; // files from cameras bend the rules
        return avifDecoderSetIOMemory(decoder, in.data(), in.size()) == AVIF_RESULT_OK &&
               avifDecoderParse(decoder) == AVIF_RESULT_OK;
    }
};

int decode(const Input& in, Dib& dib, Progress& progress) {
    Decoder d;
    if (!d.open(in))
        return SPI_BROKEN_DATA;
    if (avifDecoderNextImage(d.decoder) != AVIF_RESULT_OK)
        return SPI_BROKEN_DATA;
    if (progress.report(2, 3))
        return SPI_ABORT;
    const avifImage* image = d.decoder->image;
    const bool alpha = image->alphaPlane != nullptr;
    if (const int error =
            dib.create(image->width, image->height, alpha ? Dib::kBgra32 : Dib::kBgr24))
        return error;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.depth = 8;
    rgb.pixels = dib.bits();
    rgb.rowBytes = static_cast<uint32_t>(dib.stride());
    return avifImageYUVToRGB(image, &rgb) == AVIF_RESULT_OK ? SPI_SUCCESS : SPI_BROKEN_DATA;
}

bool isAvif(const void* header) {
    const avifROData data{static_cast<const uint8_t*>(header), 2048};
    return avifPeekCompatibleFileType(&data) != AVIF_FALSE;
}

int avifInfo(const Input& in, PictureInfo* info) {
    Decoder d;
    if (!d.open(in))
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(info, d.decoder->image->width, d.decoder->image->height,
                    d.decoder->alphaPresent ? 32 : 24);
    return SPI_SUCCESS;
}

const Filter filter{info, isAvif, avifInfo, decode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

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

} // namespace

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return pluginInfo(info(), infono, buf, buflen);
}

SUSIE_EXPORT int32_t IsSupported(const char*, const void* header) {
    if (!header)
        return 0;
    const avifROData data{static_cast<const uint8_t*>(header), 2048};
    return avifPeekCompatibleFileType(&data) ? 1 : 0;
}

SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                    PictureInfo* lpInfo) {
    Input in;
    if (const int error = in.open(buf, len, flag))
        return error;
    Decoder d;
    if (!d.open(in))
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(lpInfo, d.decoder->image->width, d.decoder->image->height,
                    d.decoder->alphaPresent ? 32 : 24);
    return SPI_SUCCESS;
}

SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                HLOCAL* pHBm, SUSIE_PROGRESS progressCallback, intptr_t lData) {
    if (!pHBInfo || !pHBm)
        return SPI_INTERNAL_ERROR;
    Input in;
    if (const int error = in.open(buf, len, flag))
        return error;
    Progress progress(progressCallback, lData);
    if (progress.report(0, 1))
        return SPI_ABORT;
    Dib dib;
    if (const int error = decode(in, dib, progress))
        return error;
    progress.report(1, 1);
    dib.release(pHBInfo, pHBm);
    return SPI_SUCCESS;
}

// AVIF import filter over libavif: the first image, converted from YUV
// straight into the bitmap, 24 bits or 32 with alpha: a decode holds the
// codec's YUV frame and the bitmap. libavif's own limits refuse pictures above
// the program's picture size, or with a side above kMaxSide, before decoding.
// The file is held in memory whole, as libavif reads it.
//
// libavif keeps its errors in the decoder's diagnostics, but the AV1 decoder
// under it (dav1d) prints its own on the standard error, and libavif offers
// no way to give it another logger: while a decoder lives, the standard error
// of this process points at /dev/null.
#include "spi/plugins/kit/plugin_kit.h"

#include <avif/avif.h>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{std::string("Kelvora AVIF plug-in (libavif ") + avifVersion() + ")",
                              {{"*.avif", "AVIF"}}};
    return i;
}

// The standard error sent to /dev/null for the object's lifetime.
class QuietStderr {
public:
    QuietStderr() {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        saved_ = null >= 0 ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0) : -1;
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(null, STDERR_FILENO);
        }
        if (null >= 0)
            ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

struct Decoder {
    QuietStderr quiet; // first in, last out: dav1d's threads end with the decoder
    avifDecoder* decoder = avifDecoderCreate();
    ~Decoder() {
        if (decoder)
            avifDecoderDestroy(decoder);
    }
    bool open(const Input& in) {
        if (!decoder)
            return false;
        decoder->imageSizeLimit = static_cast<uint32_t>(kMaxPixels);
        decoder->imageDimensionLimit = static_cast<uint32_t>(kMaxSide);
        decoder->maxThreads = 2;
        decoder->strictFlags = AVIF_STRICT_DISABLED; // files from cameras bend the rules
        const unsigned char* data = in.whole();
        return data && avifDecoderSetIOMemory(decoder, data, in.size()) == AVIF_RESULT_OK &&
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

// WebP import filter over libwebp: still pictures, and the first frame of an
// animation. 24 bits, or 32 with alpha. Decoded incrementally straight into
// the bitmap, with progress by the bytes taken.
#include "spi/plugins/kit/plugin_kit.h"

#include <string>
#include <webp/decode.h>
#include <webp/demux.h>

using namespace kelvora::spikit;

namespace {

std::string versionText(int v) {
    return std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xFF) + "." +
           std::to_string(v & 0xFF);
}

const PluginInfo& info() {
    static const PluginInfo i{"Kelvora WebP plug-in (libwebp " +
                                  versionText(WebPGetDecoderVersion()) + ")",
                              {{"*.webp", "WebP"}}};
    return i;
}

// The bitstream of the still picture, or of the first frame of an animation.
struct Picture {
    WebPData data{};
    WebPDemuxer* demux = nullptr;
    WebPIterator frame{};
    bool framed = false;
    ~Picture() {
        if (framed)
            WebPDemuxReleaseIterator(&frame);
        WebPDemuxDelete(demux);
    }
    bool open(const Input& in, WebPBitstreamFeatures& features) {
        data = {in.data(), in.size()};
        if (WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK)
            return false;
        if (!features.has_animation)
            return true;
        demux = WebPDemux(&data);
        if (!demux || !WebPDemuxGetFrame(demux, 1, &frame))
            return false;
        framed = true;
        data = frame.fragment;
        return WebPGetFeatures(data.bytes, data.size, &features) == VP8_STATUS_OK;
    }
};

int decode(const Input& in, Dib& dib, Progress& progress) {
    WebPBitstreamFeatures features;
    Picture picture;
    if (!picture.open(in, features))
        return SPI_BROKEN_DATA;
    const bool alpha = features.has_alpha != 0;
    if (const int error =
            dib.create(features.width, features.height, alpha ? Dib::kBgra32 : Dib::kBgr24))
        return error;
    WebPIDecoder* decoder = WebPINewRGB(alpha ? MODE_BGRA : MODE_BGR, dib.bits(), dib.bitsSize(),
                                        static_cast<int>(dib.stride()));
    if (!decoder)
        return SPI_NO_MEMORY;
    const std::size_t total = picture.data.size;
    const std::size_t step = 256 * 1024;
    int result = SPI_BROKEN_DATA;
    for (std::size_t given = std::min(step, total);; given = std::min(given + step, total)) {
        const VP8StatusCode status = WebPIUpdate(decoder, picture.data.bytes, given);
        if (status == VP8_STATUS_OK) {
            result = SPI_SUCCESS;
            break;
        }
        if (status != VP8_STATUS_SUSPENDED || given == total)
            break;
        if (progress.report(static_cast<long long>(given), static_cast<long long>(total))) {
            result = SPI_ABORT;
            break;
        }
    }
    WebPIDelete(decoder);
    return result;
}

bool isWebp(const void* header) {
    return startsWith(header, "RIFF", 4) &&
           startsWith(static_cast<const char*>(header) + 8, "WEBP", 4);
}

int webpInfo(const Input& in, PictureInfo* info) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(in.data(), in.size(), &features) != VP8_STATUS_OK)
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(info, features.width, features.height, features.has_alpha ? 32 : 24);
    return SPI_SUCCESS;
}

const Filter filter{info, isWebp, webpInfo, decode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

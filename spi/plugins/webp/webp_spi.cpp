// WebP import filter over libwebp: still pictures, and the first frame of an
// animation. 24 bits, or 32 with alpha. Decoded incrementally straight into
// the bitmap, with progress by the bytes taken; the file is held in memory
// whole, as libwebp's parser wants it.
//
// libwebp believes the sizes a file declares, so before anything is allocated
// the picture's chunks must lie within the data: a picture cut short is
// refused at once instead of being decoded as far as it goes. Lossless
// pictures cost libwebp 4 bytes a pixel of its own while they decode.
#include "spi/plugins/kit/plugin_kit.h"

#include <cstring>
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

std::uint32_t littleEndian32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// True when every chunk up to the picture's (the still picture's bitstream, or the
// first animation frame) lies within the data. Data without the RIFF container is
// a bare bitstream and declares no chunks.
bool pictureChunksFit(const unsigned char* data, std::size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0)
        return true;
    for (std::uint64_t at = 12; at + 8 <= size;) {
        const std::uint64_t end = at + 8 + littleEndian32(data + at + 4);
        if (end > size)
            return false;
        for (const char* picture : {"VP8 ", "VP8L", "ANMF"})
            if (std::memcmp(data + at, picture, 4) == 0)
                return true;
        at = end + (end & 1);
    }
    return false;
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
        data = {in.whole(), static_cast<std::size_t>(in.size())};
        if (!data.bytes || WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK ||
            !pictureChunksFit(data.bytes, data.size))
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
    const unsigned char* data = in.whole();
    if (!data || WebPGetFeatures(data, in.size(), &features) != VP8_STATUS_OK)
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(info, features.width, features.height, features.has_alpha ? 32 : 24);
    return SPI_SUCCESS;
}

const Filter filter{info, isWebp, webpInfo, decode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

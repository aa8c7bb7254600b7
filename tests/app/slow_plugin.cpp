// An import filter for "*.slow" test pictures that takes its time: the file holds
// "SLOW", then the milliseconds GetPicture sleeps, the width and the height (32-bit
// each); the picture is a 24-bit grey bitmap of that size.
#include "kelvora/susie.h"

#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct SlowHeader {
    char magic[4];
    std::int32_t delayMs;
    std::int32_t width;
    std::int32_t height;
};

int32_t text(const char* value, char* buf, int32_t buflen) {
    std::strncpy(buf, value, static_cast<std::size_t>(buflen));
    buf[buflen - 1] = '\0';
    return static_cast<int32_t>(std::strlen(buf));
}

bool readHeader(const char* buf, intptr_t len, uint32_t flag, SlowHeader& h) {
    if ((flag & 7) == 1) {
        if (len < static_cast<intptr_t>(sizeof h))
            return false;
        std::memcpy(&h, buf, sizeof h);
    } else {
        std::ifstream in(buf, std::ios::binary);
        in.seekg(len);
        if (!in.read(reinterpret_cast<char*>(&h), sizeof h))
            return false;
    }
    return std::memcmp(h.magic, "SLOW", 4) == 0 && h.width > 0 && h.height > 0 && h.width <= 4096 &&
           h.height <= 4096;
}

} // namespace

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    const char* const infos[] = {"00IN", "Slow test", "*.slow", "Slow"};
    return infono >= 0 && infono < 4 ? text(infos[infono], buf, buflen) : 0;
}

SUSIE_EXPORT int32_t IsSupported(const char*, const void* header) {
    return std::memcmp(header, "SLOW", 4) == 0;
}

SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                    PictureInfo* info) {
    SlowHeader h;
    if (!readHeader(buf, len, flag, h))
        return SPI_UNKNOWN_FORMAT;
    *info = PictureInfo{};
    info->width = h.width;
    info->height = h.height;
    info->colorDepth = 24;
    return SPI_SUCCESS;
}

SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                HLOCAL* pHBm, SUSIE_PROGRESS, intptr_t) {
    SlowHeader h;
    if (!readHeader(buf, len, flag, h))
        return SPI_UNKNOWN_FORMAT;
    ::usleep(static_cast<useconds_t>(h.delayMs) * 1000);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = h.width;
    info.biHeight = h.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const std::size_t stride = (static_cast<std::size_t>(h.width) * 3 + 3) / 4 * 4;
    *pHBInfo = LocalAlloc(LPTR, sizeof info);
    *pHBm = LocalAlloc(LMEM_FIXED, stride * static_cast<std::size_t>(h.height));
    if (!*pHBInfo || !*pHBm)
        return SPI_NO_MEMORY;
    std::memcpy(*pHBInfo, &info, sizeof info);
    std::memset(*pHBm, 0x80, stride * static_cast<std::size_t>(h.height));
    return SPI_SUCCESS;
}

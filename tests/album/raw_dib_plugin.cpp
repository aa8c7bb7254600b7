// An import filter for "*.rawdib" test pictures (raw_dib.h): GetPicture returns
// the file's bitmap information and bits as they are, GetPictureInfo what the
// file's header says.
#include "kelvora/susie.h"
#include "tests/album/raw_dib.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using kelvora::test::RawDibHeader;

namespace {

int32_t text(const char* value, char* buf, int32_t buflen) {
    std::strncpy(buf, value, static_cast<std::size_t>(buflen));
    buf[buflen - 1] = '\0';
    return static_cast<int32_t>(std::strlen(buf));
}

// The data from its start: the file (flag 0, len the offset) or the memory.
bool readData(const char* buf, intptr_t len, uint32_t flag, std::string& data) {
    if ((flag & 7) == 1) {
        data.assign(buf, static_cast<std::size_t>(len));
    } else {
        std::ifstream in(buf, std::ios::binary);
        in.seekg(len);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return data.size() >= sizeof(RawDibHeader) && std::memcmp(data.data(), "RDB1", 4) == 0;
}

HLOCAL block(const char* bytes, std::size_t size) {
    void* h = LocalAlloc(LMEM_FIXED, size);
    if (h && bytes)
        std::memcpy(h, bytes, size);
    return h;
}

} // namespace

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    switch (infono) {
    case 0:
        return text("00IN", buf, buflen);
    case 1:
        return text("Raw DIB test", buf, buflen);
    case 2:
        return text("*.rawdib", buf, buflen);
    case 3:
        return text("Raw DIB", buf, buflen);
    default:
        return 0;
    }
}

SUSIE_EXPORT int32_t IsSupported(const char*, const void* header) {
    return std::memcmp(header, "RDB1", 4) == 0;
}

SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                    PictureInfo* info) {
    std::string data;
    if (!readData(buf, len, flag, data))
        return SPI_UNKNOWN_FORMAT;
    RawDibHeader h;
    std::memcpy(&h, data.data(), sizeof h);
    *info = PictureInfo{};
    info->width = h.width;
    info->height = h.height;
    info->colorDepth = h.colorDepth;
    return h.infoResult;
}

SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                HLOCAL* pHBm, SUSIE_PROGRESS, intptr_t) {
    std::string data;
    if (!readData(buf, len, flag, data))
        return SPI_UNKNOWN_FORMAT;
    RawDibHeader h;
    std::memcpy(&h, data.data(), sizeof h);
    const std::size_t infoEnd = sizeof h + h.infoSize;
    if (data.size() < infoEnd)
        return SPI_BROKEN_DATA;
    *pHBInfo = block(data.data() + sizeof h, h.infoSize);
    if (h.madeBits) {
        // A large picture from a small file: rows of a repeating pattern.
        *pHBm = block(nullptr, h.madeBits);
        auto* bits = static_cast<unsigned char*>(*pHBm);
        for (std::size_t i = 0; i < h.madeBits; ++i)
            bits[i] = static_cast<unsigned char>(i * 7 + i / 4099);
    } else {
        *pHBm = block(data.data() + infoEnd, data.size() - infoEnd);
    }
    return SPI_SUCCESS;
}

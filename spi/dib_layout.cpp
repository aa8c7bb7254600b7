#include "spi/dib_layout.h"

#include "base/bitmap.h"
#include "kelvora/susie.h"

#include <cstdlib>
#include <cstring>

namespace kelvora {

std::optional<TDibLayout> CheckDib(const void* info, std::size_t infoSize, std::size_t bitsSize) {
    if (!info || infoSize < sizeof(BITMAPINFOHEADER))
        return std::nullopt;
    BITMAPINFOHEADER h;
    std::memcpy(&h, info, sizeof h);
    if (h.biSize < sizeof h || h.biSize > 124 || h.biWidth < 1 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN)
        return std::nullopt;
    const long long width = h.biWidth;
    const long long height = std::llabs(h.biHeight);
    if (width * height > kMaxPicturePixels)
        return std::nullopt;

    TDibLayout d;
    d.width = h.biWidth;
    d.height = h.biHeight;
    d.bitCount = h.biBitCount;
    d.compression = h.biCompression;
    switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
        if (h.biClrUsed > (1u << h.biBitCount))
            return std::nullopt;
        d.colorCount = h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount;
        break;
    case 16:
    case 24:
    case 32:
        // A colour table beside true colour only suggests a palette for old displays.
        if (h.biClrUsed > 256)
            return std::nullopt;
        d.colorCount = h.biClrUsed;
        break;
    default:
        return std::nullopt;
    }
    std::size_t masks = 0;
    if (h.biCompression == BI_BITFIELDS || h.biCompression == BI_ALPHABITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32)
            return std::nullopt;
        // Longer headers carry the masks inside them.
        if (h.biSize == sizeof h)
            masks = h.biCompression == BI_BITFIELDS ? 12 : 16;
    } else if (h.biCompression != BI_RGB) {
        return std::nullopt;
    }
    d.headerSize = h.biSize + masks + 4 * std::size_t{d.colorCount};
    d.imageSize = static_cast<std::size_t>((d.bitCount * width + 31) / 32 * 4 * height);
    if (infoSize < d.headerSize || bitsSize < d.imageSize)
        return std::nullopt;
    return d;
}

} // namespace kelvora

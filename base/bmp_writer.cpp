#include "base/base_texts.h"
#include "base/bmp_codec.h"
#include "base/bmp_format.h"

#include "base/errors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kelvora {
namespace {

using namespace bmp;

void put16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The 16 colours of the standard VGA palette, for 4-bit files of pictures
// that have more colours than that.
QList<QRgb> standardSixteenColors() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QImage toIndexed(const QImage& source, int maxColors) {
    if (source.format() == QImage::Format_Indexed8 && source.colorCount() <= maxColors)
        return source;
    if (maxColors > 16)
        return source.convertToFormat(QImage::Format_Indexed8);
    const bool smallPalette = source.colorCount() > 0 && source.colorCount() <= 16;
    return source.convertToFormat(QImage::Format_Indexed8,
                                  smallPalette ? source.colorTable() : standardSixteenColors());
}

} // namespace

std::string encodeBmp(const QImage& source, TPixelFormat format) {
    if (source.isNull() || source.width() == 0 || source.height() == 0)
        return {};
    int bits;
    QImage image;
    switch (format) {
    case TPixelFormat::pf1bit:
        bits = 1;
        image = source.convertToFormat(QImage::Format_Mono);
        break;
    case TPixelFormat::pf4bit:
        bits = 4;
        image = toIndexed(source, 16);
        break;
    case TPixelFormat::pf8bit:
        bits = 8;
        image = toIndexed(source, 256);
        break;
    case TPixelFormat::pf32bit:
        bits = 32;
        image = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                : QImage::Format_RGB32);
        break;
    default:
        bits = 24;
        image = source.convertToFormat(QImage::Format_BGR888);
    }
    if (image.isNull())
        throw EOutOfResources(
            BaseTexts::Text(BaseTexts::SPictureMemory).arg(source.width()).arg(source.height()));

    const auto width = static_cast<std::uint32_t>(image.width());
    const auto height = static_cast<std::uint32_t>(image.height());
    const bool alpha = image.format() == QImage::Format_ARGB32;
    const std::uint32_t headerSize = alpha ? kV4HeaderSize : kInfoHeaderSize;
    const std::uint32_t paletteSize = bits <= 8 ? (1u << bits) : 0;
    const std::uint32_t stride =
        static_cast<std::uint32_t>((std::uint64_t{width} * bits + 31) / 32 * 4);
    const std::uint32_t offBits = kFileHeaderSize + headerSize + 4 * paletteSize;
    const std::uint32_t imageSize = stride * height;

    std::string out;
    out.reserve(offBits + imageSize);
    out += "BM";
    put32(out, offBits + imageSize);
    put32(out, 0);
    put32(out, offBits);
    put32(out, headerSize);
    put32(out, width);
    put32(out, height); // bottom-up rows
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bits));
    put32(out, alpha ? kBitFields : kRgb);
    put32(out, imageSize);
    put32(out, static_cast<std::uint32_t>(std::max(0, image.dotsPerMeterX())));
    put32(out, static_cast<std::uint32_t>(std::max(0, image.dotsPerMeterY())));
    put32(out, 0); // all palette entries used
    put32(out, 0);
    if (alpha) {
        put32(out, 0x00FF0000);
        put32(out, 0x0000FF00);
        put32(out, 0x000000FF);
        put32(out, 0xFF000000);
        put32(out, 0x73524742);    // LCS_sRGB
        out.append(36 + 12, '\0'); // end points and gamma, unused with sRGB
    }
    const QList<QRgb> colors = image.colorTable();
    for (std::uint32_t i = 0; i < paletteSize; ++i) {
        // A mono picture without a palette is black on white.
        const QRgb c = i < static_cast<std::uint32_t>(colors.size()) ? colors[static_cast<int>(i)]
                       : bits == 1 && colors.isEmpty() && i == 1     ? qRgb(255, 255, 255)
                                                                     : qRgb(0, 0, 0);
        out.push_back(static_cast<char>(qBlue(c)));
        out.push_back(static_cast<char>(qGreen(c)));
        out.push_back(static_cast<char>(qRed(c)));
        out.push_back('\0');
    }

    std::string row(stride, '\0');
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar* line = image.constScanLine(y);
        switch (bits) {
        case 1:
            std::memcpy(row.data(), line, (width + 7) / 8);
            break;
        case 4:
            std::fill(row.begin(), row.end(), '\0');
            for (std::uint32_t x = 0; x < width; ++x)
                row[x / 2] = static_cast<char>(row[x / 2] | (line[x] & 0x0F) << (x % 2 ? 0 : 4));
            break;
        case 8:
            std::memcpy(row.data(), line, width);
            break;
        case 24:
            std::memcpy(row.data(), line, 3 * std::size_t{width});
            break;
        default:
            std::memcpy(row.data(), line, 4 * std::size_t{width});
            if (!alpha) // the fourth byte of BI_RGB pixels is reserved
                for (std::uint32_t x = 0; x < width; ++x)
                    row[4 * x + 3] = '\0';
        }
        out += row;
    }
    return out;
}

} // namespace kelvora

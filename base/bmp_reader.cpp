#include "base/base_texts.h"
#include "base/bmp_codec.h"
#include "base/bmp_format.h"

#include "base/errors.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kelvora {
namespace {

using namespace bmp;

[[noreturn]] void invalidBitmap() {
    throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SInvalidBitmap));
}

std::uint32_t byteAt(std::string_view b, std::size_t pos) {
    return static_cast<unsigned char>(b[pos]);
}

std::uint16_t read16(std::string_view b, std::size_t pos) {
    if (pos + 2 > b.size())
        invalidBitmap();
    return static_cast<std::uint16_t>(byteAt(b, pos) | byteAt(b, pos + 1) << 8);
}

std::uint32_t read32(std::string_view b, std::size_t pos) {
    if (pos + 4 > b.size())
        invalidBitmap();
    return byteAt(b, pos) | byteAt(b, pos + 1) << 8 | byteAt(b, pos + 2) << 16 |
           byteAt(b, pos + 3) << 24;
}

struct BmpHeader {
    long long width = 0;
    long long height = 0; // number of rows, positive
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha
    int paletteEntries = 0;      // entries actually present in the file
    int paletteEntrySize = 4;    // OS/2 1.x files store 3 bytes an entry
    std::size_t paletteOffset = 0;
    std::size_t dataOffset = 0;
};

// b: the file from its start through at least its colour table; fileSize: the
// whole file's, rows included (more than b when the rows are held elsewhere).
BmpHeader parseHeader(std::string_view b, std::size_t fileSize) {
    if (!isBmpData(b))
        invalidBitmap();
    BmpHeader h;
    const std::uint32_t offBits = read32(b, 10);
    const std::uint32_t headerSize = read32(b, kFileHeaderSize);
    if (headerSize < kCoreHeaderSize || headerSize > b.size() - kFileHeaderSize)
        invalidBitmap();
    const std::size_t headerEnd = kFileHeaderSize + headerSize;
    // OS/2 2.x headers may stop after any field; what they leave out is zero.
    const auto field = [&](std::size_t pos) -> std::uint32_t {
        return pos + 4 <= headerEnd ? read32(b, pos) : 0;
    };
    std::uint32_t colorsUsed = 0;
    if (headerSize == kCoreHeaderSize) {
        h.width = read16(b, 18);
        h.height = read16(b, 20);
        h.bits = read16(b, 24);
        h.paletteEntrySize = 3;
    } else if (headerSize >= 16) {
        h.width = static_cast<std::int32_t>(read32(b, 18));
        const long long height = static_cast<std::int32_t>(read32(b, 22));
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        h.bits = read16(b, 28);
        h.compression = field(30);
        colorsUsed = field(46);
    } else {
        invalidBitmap();
    }
    const bool os2v2 = headerSize >= 16 && headerSize <= 64 && headerSize != kInfoHeaderSize &&
                       headerSize != 52 && headerSize != 56;
    // OS/2 2.x numbers Huffman 1D and RLE24 where Windows has bit fields; neither is supported.
    if (os2v2 && h.compression > kRle4)
        invalidBitmap();

    h.paletteOffset = headerEnd;
    switch (h.compression) {
    case kRgb:
        if (h.bits == 16) {
            h.masks[0] = 0x7C00;
            h.masks[1] = 0x03E0;
            h.masks[2] = 0x001F;
        } else if (h.bits == 32) {
            h.masks[0] = 0xFF0000;
            h.masks[1] = 0x00FF00;
            h.masks[2] = 0x0000FF;
        } else if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 24) {
            invalidBitmap();
        }
        break;
    case kRle8:
        if (h.bits != 8)
            invalidBitmap();
        break;
    case kRle4:
        if (h.bits != 4)
            invalidBitmap();
        break;
    case kBitFields:
    case kAlphaBitFields:
        if (h.bits != 16 && h.bits != 32)
            invalidBitmap();
        if (headerSize >= 52) {
            // Version 2 and later headers carry the masks themselves.
            for (int i = 0; i < 3; ++i)
                h.masks[i] = read32(b, kFileHeaderSize + 40 + 4 * i);
            if (headerSize >= 56)
                h.masks[3] = read32(b, kFileHeaderSize + 52);
        } else {
            const int count = h.compression == kAlphaBitFields ? 4 : 3;
            for (int i = 0; i < count; ++i)
                h.masks[i] = read32(b, headerEnd + 4 * i);
            h.paletteOffset += 4 * count;
        }
        break;
    default:
        invalidBitmap();
    }

    if (h.width < 1 || h.height < 1)
        invalidBitmap();

    // The pixel data starts where the file header says, unless that points into
    // the headers or past the end; then it follows the palette.
    int declaredEntries = 0;
    if (h.bits <= 8) {
        const std::uint32_t full = 1u << h.bits;
        declaredEntries =
            static_cast<int>(colorsUsed == 0 || colorsUsed > full ? full : colorsUsed);
    }
    const std::size_t paletteEnd =
        h.paletteOffset + static_cast<std::size_t>(declaredEntries) * h.paletteEntrySize;
    if (offBits >= h.paletteOffset && offBits < fileSize)
        h.dataOffset = offBits;
    else
        h.dataOffset = paletteEnd;
    if (h.dataOffset >= fileSize)
        invalidBitmap(); // no pixel data at all
    const std::size_t paletteSpace =
        std::min({h.dataOffset, fileSize, b.size()}) - std::min(h.paletteOffset, b.size());
    h.paletteEntries = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(declaredEntries), paletteSpace / h.paletteEntrySize));
    return h;
}

// One colour channel of a 16- or 32-bit pixel, widened to 8 bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask) {
            shift_ = std::countr_zero(mask);
            max_ = mask >> shift_;
        }
    }
    bool present() const { return max_ != 0; }
    std::uint32_t operator()(std::uint32_t pixel) const {
        if (!max_)
            return 0;
        const std::uint32_t value = (pixel & mask_) >> shift_;
        if (max_ == 255)
            return value;
        return static_cast<std::uint32_t>((std::uint64_t{value} * 255 + max_ / 2) / max_);
    }

private:
    std::uint32_t mask_;
    int shift_ = 0;
    std::uint32_t max_ = 0;
};

struct PixelDecoder {
    const BmpHeader& header;
    Channel red{header.masks[0]};
    Channel green{header.masks[1]};
    Channel blue{header.masks[2]};
    Channel alpha{header.masks[3]};
    bool anyAlpha = false;

    std::size_t stride() const {
        return static_cast<std::size_t>((header.width * header.bits + 31) / 32) * 4;
    }

    void row(const unsigned char* src, uchar* dst) {
        const auto width = static_cast<std::size_t>(header.width);
        switch (header.bits) {
        case 1:
            std::memcpy(dst, src, (width + 7) / 8);
            break;
        case 4:
            for (std::size_t x = 0; x < width; ++x)
                dst[x] = x % 2 ? src[x / 2] & 0x0F : src[x / 2] >> 4;
            break;
        case 8:
            std::memcpy(dst, src, width);
            break;
        case 16:
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint32_t pixel = src[2 * x] | src[2 * x + 1] << 8;
                dst[3 * x] = static_cast<uchar>(blue(pixel));
                dst[3 * x + 1] = static_cast<uchar>(green(pixel));
                dst[3 * x + 2] = static_cast<uchar>(red(pixel));
            }
            break;
        case 24:
            std::memcpy(dst, src, 3 * width); // blue, green, red: Format_BGR888's order
            break;
        default: {
            auto* out = reinterpret_cast<QRgb*>(dst);
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned char* p = src + 4 * x;
                const std::uint32_t pixel =
                    p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
                const std::uint32_t a = alpha.present() ? alpha(pixel) : 255;
                anyAlpha = anyAlpha || a != 0;
                out[x] = qRgba(static_cast<int>(red(pixel)), static_cast<int>(green(pixel)),
                               static_cast<int>(blue(pixel)), static_cast<int>(a));
            }
        }
        }
    }
};

void decodeUncompressed(std::string_view b, const BmpHeader& h, PixelDecoder& decoder,
                        QImage& image) {
    const std::size_t stride = decoder.stride();
    const std::size_t rowsPresent = (b.size() - h.dataOffset) / stride;
    const auto rows =
        static_cast<int>(std::min<long long>(h.height, static_cast<long long>(rowsPresent)));
    const auto* data = reinterpret_cast<const unsigned char*>(b.data()) + h.dataOffset;
    const int height = image.height();
    for (int r = 0; r < rows; ++r)
        decoder.row(data + static_cast<std::size_t>(r) * stride,
                    image.scanLine(h.topDown ? r : height - 1 - r));
}

// Run-length data: runs are cut at the end of a row, moves past the last row end
// the picture, and data that stops early leaves the rest at index 0.
void decodeRunLength(std::string_view b, const BmpHeader& h, QImage& image) {
    const bool rle4 = h.compression == kRle4;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + h.dataOffset;
    const auto* end = reinterpret_cast<const unsigned char*>(b.data()) + b.size();
    const int width = image.width();
    const int height = image.height();
    int x = 0;
    int row = 0;
    uchar* line = image.scanLine(h.topDown ? 0 : height - 1);
    const auto put = [&](unsigned value) {
        if (x < width)
            line[x++] = static_cast<uchar>(value);
    };
    const auto moveTo = [&](int newRow) {
        row = newRow;
        if (row < height)
            line = image.scanLine(h.topDown ? row : height - 1 - row);
    };
    while (row < height && end - p >= 2) {
        const unsigned count = *p++;
        const unsigned value = *p++;
        if (count > 0) {
            for (unsigned i = 0; i < count && x < width; ++i)
                put(rle4 ? (i % 2 ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            moveTo(row + 1);
        } else if (value == 1) { // end of picture
            break;
        } else if (value == 2) { // move right and up
            if (end - p < 2)
                break;
            x = std::min(width, x + p[0]);
            const int up = p[1];
            p += 2;
            moveTo(row + up);
        } else { // `value` literal pixels, padded to a 16-bit boundary
            const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
            const std::size_t available = static_cast<std::size_t>(end - p);
            for (unsigned i = 0; i < value && x < width; ++i) {
                const std::size_t at = rle4 ? i / 2 : i;
                if (at >= available)
                    break;
                put(rle4 ? (i % 2 ? p[at] & 0x0F : p[at] >> 4) : p[at]);
            }
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            p += std::min(padded, available);
        }
    }
}

QList<QRgb> readPalette(std::string_view b, const BmpHeader& h) {
    QList<QRgb> colors(1 << h.bits, qRgb(0, 0, 0));
    for (int i = 0; i < h.paletteEntries; ++i) {
        const std::size_t at = h.paletteOffset + static_cast<std::size_t>(i) * h.paletteEntrySize;
        colors[i] = qRgb(static_cast<int>(byteAt(b, at + 2)), static_cast<int>(byteAt(b, at + 1)),
                         static_cast<int>(byteAt(b, at)));
    }
    return colors;
}

struct PictureFormat {
    QImage::Format format;
    TPixelFormat pixelFormat;
};

PictureFormat pictureFormatOf(const BmpHeader& h, const PixelDecoder& decoder) {
    switch (h.bits) {
    case 1:
        return {QImage::Format_Mono, TPixelFormat::pf1bit};
    case 4:
        return {QImage::Format_Indexed8, TPixelFormat::pf4bit};
    case 8:
        return {QImage::Format_Indexed8, TPixelFormat::pf8bit};
    case 16:
        return {QImage::Format_BGR888, TPixelFormat::pf16bit};
    case 24:
        return {QImage::Format_BGR888, TPixelFormat::pf24bit};
    default:
        return {decoder.alpha.present() ? QImage::Format_ARGB32 : QImage::Format_RGB32,
                TPixelFormat::pf32bit};
    }
}

void makeOpaque(uchar* row, int width) {
    auto* pixels = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x)
        pixels[x] |= 0xFF000000u;
}

} // namespace

bool isBmpData(std::string_view bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

DecodedBitmap decodeBmp(std::string_view bytes) {
    const BmpHeader h = parseHeader(bytes, bytes.size());
    checkPictureSize(h.width, h.height);
    PixelDecoder decoder{h};
    const auto [format, pixelFormat] = pictureFormatOf(h, decoder);
    const bool runLength = h.compression == kRle4 || h.compression == kRle8;
    // A file cut short decodes the rows it has, but one without a single row is no picture.
    if (!runLength && bytes.size() - h.dataOffset < decoder.stride())
        invalidBitmap();
    QImage image = allocatePicture(static_cast<int>(h.width), static_cast<int>(h.height), format);
    image.fill(format == QImage::Format_RGB32 ? 0xFF000000u : 0u);
    if (h.bits <= 8)
        image.setColorTable(readPalette(bytes, h));

    if (runLength)
        decodeRunLength(bytes, h, image);
    else
        decodeUncompressed(bytes, h, decoder, image);

    // Many writers declare an alpha channel and leave it zero: such a picture is opaque.
    if (format == QImage::Format_ARGB32 && !decoder.anyAlpha) {
        for (int y = 0; y < image.height(); ++y)
            makeOpaque(image.scanLine(y), image.width());
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    return {std::move(image), pixelFormat};
}

struct BmpRows::State {
    explicit State(const BmpHeader& parsed) : header(parsed) {}
    const BmpHeader header;
    PixelDecoder decoder{header}; // its channels come from the header's masks
    PictureFormat format{};
    QList<QRgb> palette;
};

BmpRows::BmpRows(std::string_view headers, std::size_t fileSize)
    : d_(std::make_unique<State>(parseHeader(headers, fileSize))) {
    const BmpHeader& h = d_->header;
    if (h.compression == kRle4 || h.compression == kRle8)
        invalidBitmap(); // its rows are no fixed stretches of the file
    checkPictureSize(h.width, h.height);
    d_->format = pictureFormatOf(h, d_->decoder);
    if (h.bits <= 8)
        d_->palette = readPalette(headers, h);
}

BmpRows::~BmpRows() = default;

int BmpRows::width() const {
    return static_cast<int>(d_->header.width);
}
int BmpRows::height() const {
    return static_cast<int>(d_->header.height);
}
bool BmpRows::topDown() const {
    return d_->header.topDown;
}
std::size_t BmpRows::stride() const {
    return d_->decoder.stride();
}
std::size_t BmpRows::dataOffset() const {
    return d_->header.dataOffset;
}
QImage::Format BmpRows::format() const {
    return d_->format.format;
}
TPixelFormat BmpRows::pixelFormat() const {
    return d_->format.pixelFormat;
}
const QList<QRgb>& BmpRows::palette() const {
    return d_->palette;
}

bool BmpRows::hasAlpha(const unsigned char* stored) const {
    const Channel& alpha = d_->decoder.alpha;
    if (d_->format.format != QImage::Format_ARGB32)
        return false;
    for (long long x = 0; x < d_->header.width; ++x) {
        const unsigned char* p = stored + 4 * x;
        if (alpha(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24) != 0)
            return true;
    }
    return false;
}

void BmpRows::setOpaque() {
    if (d_->format.format == QImage::Format_ARGB32)
        d_->format.format = QImage::Format_RGB32;
}

void BmpRows::decode(const unsigned char* stored, uchar* out) const {
    d_->decoder.row(stored, out);
    // An alpha channel that is zero everywhere is no alpha channel (decodeBmp).
    if (d_->format.format == QImage::Format_RGB32 && d_->decoder.alpha.present())
        makeOpaque(out, width());
}

} // namespace kelvora

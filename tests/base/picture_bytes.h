#pragma once
// Picture files written byte by byte, so that every header variant and every
// damaged file a test needs is built from the format's own layout.
#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::test {

// Little-endian byte string builder.
struct Bytes {
    std::string data;
    Bytes& u8(unsigned v);
    Bytes& u16(unsigned v);
    Bytes& u32(std::uint32_t v);
    Bytes& raw(const std::string& bytes);
    Bytes& zeros(std::size_t count);
};

struct BmpLayout {
    std::uint32_t headerSize = 40; // 12 (OS/2 1.x), 16..64 (OS/2 2.x), 40, 52, 56, 108, 124
    int width = 0;
    int height = 0; // negative: rows stored top-down
    int bits = 24;
    std::uint32_t compression = 0;
    // Red, green, blue[, alpha]: inside headers of 52 bytes and more, else after the header.
    std::vector<std::uint32_t> masks{};
    std::vector<QRgb> palette{}; // 3 bytes an entry with a 12-byte header, else 4
    std::uint32_t colorsUsed = 0;
    std::string pixels{};                      // pixel data as stored in the file
    std::optional<std::uint32_t> dataOffset{}; // bfOffBits; computed when not set
};
std::string makeBmp(const BmpLayout& layout);

// Rows given top to bottom, each padded to a multiple of 4 bytes and stored
// bottom-up (or top-down when topDown).
std::string bmpRows(const std::vector<std::string>& rowsTopToBottom, bool topDown = false);

// One icon entry: the picture (bits 1, 4, 8 with palette, or 24, 32) and its
// AND mask (1 = transparent), in the layout of an icon's bitmap.
struct IconBitmap {
    int width;
    int height;
    int bits;
    std::vector<QRgb> palette{};
    std::vector<std::string> rows;     // pixel bytes, top to bottom, unpadded
    std::vector<std::string> maskRows; // mask bytes, top to bottom, unpadded
};
std::string iconBitmapEntry(const IconBitmap& bitmap);

struct IconEntrySpec {
    int width; // 256 is written as 0
    int height;
    int bits;
    std::string data;                      // a bitmap entry or a PNG file
    std::optional<std::uint32_t> offset{}; // where the directory says the data is
};
std::string makeIco(const std::vector<IconEntrySpec>& entries);

// A metafile that fills the left half of the picture in the colour (COLORREF
// order: 0x00BBGGRR), without outline; the right half stays empty.
// Placeable: bounding box 0, 0, boxWidth, boxHeight in unitsPerInch.
std::string makeWmf(bool placeable, int boxWidth, int boxHeight, int unitsPerInch,
                    std::uint32_t colorRef);
// Frame 0, 0, frameWidth, frameHeight in 0.01 mm, drawing in pixels of 96 dpi.
std::string makeEmf(int frameWidth, int frameHeight, std::uint32_t colorRef);

} // namespace kelvora::test

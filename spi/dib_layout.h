#pragma once
// What a plug-in's bitmap information says about its picture, checked against
// the blocks it really returned. A device-independent bitmap is a header
// (40 bytes or one of the longer Windows headers), bit masks after a 40-byte
// header for the bit-field forms, a colour table of 4-byte entries, and rows
// of pixels each padded to 4 bytes.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kelvora {

struct TDibLayout {
    std::int32_t width = 0;
    std::int32_t height = 0; // as stored: negative for top-down rows
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorCount = 0; // colour-table entries
    std::size_t headerSize = 0;   // header + masks + colour table: the bytes before the rows
    std::size_t imageSize = 0;    // bytes of rows
};

// The layout, or nothing when the header is not one a picture can be made of or
// the blocks are shorter than it says: a header under 40 bytes or over 124, a
// width under 1, a height of 0, a side above the picture size limit, a bit count
// other than 1, 4, 8, 16, 24 or 32, compression other than none (or bit fields
// at 16 and 32 bits), more colours than the bit count allows, an information
// block shorter than header, masks and colour table, or a bits block shorter
// than the rows.
std::optional<TDibLayout> CheckDib(const void* info, std::size_t infoSize, std::size_t bitsSize);

} // namespace kelvora

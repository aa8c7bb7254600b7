#pragma once
// Small files that declare far more than they hold, each aimed at one place
// where a picture library allocates what a file asks for: the shipped import
// filters must refuse every one at once and without the memory it asks for.
// Header-only: the plug-in tests and the plug-in benchmark share them.
#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

struct HostilePicture {
    std::string filter; // the shipped import filter it is aimed at ("png", ...)
    std::string name;
    std::string bytes;
};

inline std::string bigEndian32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
inline std::string littleEndian16(std::uint16_t v) {
    return {char(v), char(v >> 8)};
}
inline std::string littleEndian32(std::uint32_t v) {
    return littleEndian16(static_cast<std::uint16_t>(v)) +
           littleEndian16(static_cast<std::uint16_t>(v >> 16));
}

// A PNG chunk with its CRC-32.
inline std::string pngChunk(const std::string& type, const std::string& data) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char byte : type + data) {
        c ^= byte;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return bigEndian32(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian32(~c);
}

// 57 bytes: a 1 x 1 picture, then the header of one chunk declaring 2^30 - 1 bytes,
// and 16 of them.
inline std::string pngDeclaringHugeChunk(const std::string& type, char colorType = 2) {
    const std::string ihdr = bigEndian32(1) + bigEndian32(1) + std::string{8, colorType, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
           bigEndian32((1u << 30) - 1) + type + std::string(16, '\0');
}

// A GIF whose screen and first image declare 11390 x 12595 pixels, with no image data.
inline std::string gifDeclaringHugeImage() {
    std::string gif = "GIF89a" + littleEndian16(11390) + littleEndian16(12595) +
                      std::string("\x80\x00\x00", 3) + std::string("\0\0\0\xff\xff\xff", 6);
    gif += ',' + littleEndian16(0) + littleEndian16(0) + littleEndian16(11390) +
           littleEndian16(12595) + std::string(1, '\0');
    return gif + std::string("\x02\x00;", 3);
}

// A lossless WebP of 16383 x 16383 pixels of one colour: 8 bytes of bitstream stand for
// all of them. With declaredChunk above 8 the chunk claims bytes the file does not have.
inline std::string webpLossless16383(std::uint32_t declaredChunk = 8) {
    // The bitstream, least significant bit first: the size, no alpha, version 0, no
    // transform, no colour cache, no meta codes, then five one-symbol codes.
    std::uint64_t bits = 0;
    int at = 0;
    const auto put = [&](std::uint64_t value, int width) {
        bits |= value << at;
        at += width;
    };
    put(16382, 14);
    put(16382, 14);
    put(0, 4);
    put(0, 3);
    for (int code = 0; code < 5; ++code)
        put(1, 4); // simple code, one symbol, 1-bit symbol 0
    std::string data = "\x2f";
    for (int i = 0; i < (at + 7) / 8; ++i)
        data += static_cast<char>(bits >> (8 * i));
    const std::string chunk = "VP8L" + littleEndian32(declaredChunk) + data;
    return "RIFF" + littleEndian32(static_cast<std::uint32_t>(4 + 8 + declaredChunk)) + "WEBP" +
           chunk;
}

// A little-endian TIFF of width x height RGB pixels in one LZW strip at the end of the
// file that declares `stripBytes` bytes.
inline std::string tiffDeclaring(std::uint32_t width, std::uint32_t height,
                                 std::uint32_t stripBytes) {
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    const std::vector<Entry> entries = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                        {259, 3, 5},     {262, 3, 2},      {273, 4, 0},
                                        {277, 3, 3},     {278, 4, height}, {279, 4, stripBytes}};
    const std::uint32_t ifdAt = 8;
    const auto stripAt = static_cast<std::uint32_t>(ifdAt + 2 + 12 * entries.size() + 4);
    std::string tiff = "II" + littleEndian16(42) + littleEndian32(ifdAt);
    tiff += littleEndian16(static_cast<std::uint16_t>(entries.size()));
    for (const Entry& e : entries)
        tiff +=
            littleEndian16(e.tag) + littleEndian16(e.type) + littleEndian32(1) +
            (e.type == 3 ? littleEndian16(static_cast<std::uint16_t>(e.value)) + littleEndian16(0)
                         : littleEndian32(e.tag == 273 ? stripAt : e.value));
    return tiff + littleEndian32(0) + std::string(8, '\0');
}

// The ISO box file (HEIC, AVIF) with every 'ispe' property claiming width x height.
inline std::string withImageSize(std::string file, std::uint32_t width, std::uint32_t height) {
    for (std::size_t at = file.find("ispe"); at != std::string::npos && at + 16 <= file.size();
         at = file.find("ispe", at + 16))
        file.replace(at + 8, 8, bigEndian32(width) + bigEndian32(height));
    return file;
}

// The hostile files that need no tool to make.
inline std::vector<HostilePicture> hostilePictures() {
    return {
        {"png", "tEXt chunk of 2^30 - 1 bytes", pngDeclaringHugeChunk("tEXt")},
        {"png", "zTXt chunk of 2^30 - 1 bytes", pngDeclaringHugeChunk("zTXt")},
        {"png", "iTXt chunk of 2^30 - 1 bytes", pngDeclaringHugeChunk("iTXt")},
        {"png", "iCCP chunk of 2^30 - 1 bytes", pngDeclaringHugeChunk("iCCP")},
        {"png", "PLTE chunk of 2^30 - 1 bytes", pngDeclaringHugeChunk("PLTE", 3)},
        {"gif", "image of 11390 x 12595 without data", gifDeclaringHugeImage()},
        {"webp", "lossless 16383 x 16383 cut short", webpLossless16383(64)},
        {"tiff", "16384 x 16384 strip missing", tiffDeclaring(16384, 16384, 1u << 30)},
        {"tiff", "strip of 4 GiB", tiffDeclaring(4096, 4096, 0xFFFFFFFFu)},
    };
}

} // namespace kelvora::test

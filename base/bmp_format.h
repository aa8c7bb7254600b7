#pragma once
// Numbers of the bitmap file format shared by its reader and writer.
#include <cstddef>
#include <cstdint>

namespace kelvora::bmp {

// Compression values
inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitFields = 3;
inline constexpr std::uint32_t kAlphaBitFields = 6;

// Header sizes
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kCoreHeaderSize = 12;
inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t kV4HeaderSize = 108;

} // namespace kelvora::bmp

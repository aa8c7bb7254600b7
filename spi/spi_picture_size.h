#pragma once
// The size of a picture in a plug-in format as the plug-in that would decode it
// tells it before decoding (GetPictureInfo), for planning memory: the album run
// counts a picture's bitmap before it lets two run side by side.
//
// The candidates are those a load asks, in the same order and at the same
// offsets (MacBinary), through a decoding helper of its own; the first that
// says it supports the file answers. Nothing the plug-in says is checked here:
// the caller decides what a size it cannot believe counts as. A plug-in that
// crashes or hangs counts as one that does not support the file; a hang costs at
// most a few seconds, since the answer only guides a plan.
//
// Threading: as a load (spi_bitmap.h), on any thread.
#include <cstdint>
#include <optional>
#include <string>

namespace kelvora {

struct TSPIPictureSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t colorDepth = 0; // bits per pixel, as the plug-in says
};

// What the plug-in says, or nothing when the file cannot be read, no plug-in
// supports it or the one that does cannot tell.
std::optional<TSPIPictureSize> GetSPIPictureSize(const std::string& fileName);

} // namespace kelvora

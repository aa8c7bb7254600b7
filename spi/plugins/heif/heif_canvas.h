#pragma once
// The canvases a HEIF file's grid and overlay items make, read from the file's
// boxes before libheif is asked to decode anything.
//
// libheif (1.15) allocates a grid's or an overlay's canvas at the size the
// item's own few bytes give, checking only each side against its limit; it
// does not check that the tiles cover the canvas. So a file of a few hundred
// bytes can declare a small picture and make libheif fill gigabytes. Reading
// those sizes first lets the filter refuse such a file at once.
#include "spi/plugins/kit/plugin_kit.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvora::spikit {

struct CanvasSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// Every grid and overlay item's canvas; empty for a file without them. Nothing
// when the boxes that describe them cannot be read (cut short, out of range,
// a meta box above 16 MiB): such a file is no picture to decode.
std::optional<std::vector<CanvasSize>> DerivedCanvases(const Input& in);

} // namespace kelvora::spikit

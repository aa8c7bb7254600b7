// What the host accepts of a plug-in's bitmap information and blocks.
#include "base/bitmap.h"
#include "kelvora/susie.h"
#include "spi/dib_layout.h"
#include "spi/plugins/kit/plugin_kit.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace kelvora;

namespace {

struct Case {
    const char* name;
    BITMAPINFOHEADER header;
    bool accepted;
    // The bytes the layout needs. A row without them is refused by the rule it
    // names alone: its blocks are longer than any layout could need.
    std::size_t headerSize = 0;
    std::size_t imageSize = 0;
    long long infoDelta = 0; // bytes more (or fewer) than the layout needs
    long long bitsDelta = 0;
};

BITMAPINFOHEADER header(int w, int h, int bits, std::uint32_t colors = 0,
                        std::uint32_t compression = BI_RGB, std::uint32_t size = 40) {
    BITMAPINFOHEADER b{};
    b.biSize = size;
    b.biWidth = w;
    b.biHeight = h;
    b.biPlanes = 1;
    b.biBitCount = static_cast<std::uint16_t>(bits);
    b.biCompression = compression;
    b.biClrUsed = colors;
    return b;
}

} // namespace

TEST(DibLayout, HeadersAreCheckedAgainstTheBlocks) {
    const Case cases[] = {
        {"24 bits, no table", header(5, 3, 24), true, 40, 16 * 3},
        {"top-down rows", header(5, -3, 24), true, 40, 16 * 3},
        {"1 bit: two colours", header(33, 2, 1), true, 48, 8 * 2},
        {"4 bits: sixteen colours", header(3, 2, 4), true, 104, 4 * 2},
        {"8 bits with 10 colours", header(3, 2, 8, 10), true, 80, 4 * 2},
        {"32 bits, bit fields", header(2, 2, 32, 0, BI_BITFIELDS), true, 52, 16},
        {"32 bits, alpha bit fields", header(2, 2, 32, 0, BI_ALPHABITFIELDS), true, 56, 16},
        {"V5 header keeps its masks", header(2, 2, 32, 0, BI_BITFIELDS, 124), true, 124, 16},
        {"bits one byte short", header(5, 3, 24), false, 40, 16 * 3, 0, -1},
        {"table one entry short", header(3, 2, 4), false, 104, 4 * 2, -4, 0},
        {"7 bits per pixel", header(4, 4, 7), false},
        {"width 0", header(0, 4, 24), false},
        {"negative width", header(-4, 4, 24), false},
        {"height 0", header(4, 0, 24), false},
        {"height INT32_MIN", header(4, INT32_MIN, 24), false},
        {"above the size limit", header(1 << 15, (1 << 13) + 1, 8), false},
        {"run-length data", header(4, 4, 8, 0, 1), false},
        {"bit fields at 24 bits", header(4, 4, 24, 0, BI_BITFIELDS), false},
        {"300 colours at 8 bits", header(4, 4, 8, 300), false},
        {"257 colours beside 24 bits", header(4, 4, 24, 257), false},
        {"header size 12", header(4, 4, 24, 0, BI_RGB, 12), false},
        {"header size 125", header(4, 4, 24, 0, BI_RGB, 125), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool sized = c.headerSize != 0;
        std::vector<char> info(
            sized ? static_cast<std::size_t>(static_cast<long long>(c.headerSize) + c.infoDelta)
                  : 4096);
        std::memcpy(info.data(), &c.header, sizeof c.header);
        const std::size_t bits =
            sized ? static_cast<std::size_t>(static_cast<long long>(c.imageSize) + c.bitsDelta)
                  : SIZE_MAX;
        const auto layout = CheckDib(info.data(), info.size(), bits);
        ASSERT_EQ(layout.has_value(), c.accepted);
        if (layout) {
            EXPECT_EQ(layout->headerSize, c.headerSize);
            EXPECT_EQ(layout->imageSize, c.imageSize);
            EXPECT_EQ(layout->height, c.header.biHeight);
        }
    }
    EXPECT_FALSE(CheckDib(nullptr, 100, 100));
}

TEST(DibLayout, PluginsAndProgramShareTheSizeLimit) {
    EXPECT_EQ(spikit::kMaxPixels, kMaxPicturePixels);
}

// What the host accepts of a plug-in's bitmap information and blocks.
#include "base/bitmap.h"
#include "kelvora/susie.h"
#include "spi/dib_layout.h"
#include "spi/plugins/kit/plugin_kit.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace kelvora;

namespace {

struct Case {
    const char* name;
    BITMAPINFOHEADER header;
    long long infoDelta; // bytes more (or fewer) than the layout needs
    long long bitsDelta;
    bool accepted;
    std::size_t headerSize;
    std::size_t imageSize;
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
        {"24 bits, no table", header(5, 3, 24), 0, 0, true, 40, 16 * 3},
        {"top-down rows", header(5, -3, 24), 0, 0, true, 40, 16 * 3},
        {"1 bit: two colours", header(33, 2, 1), 0, 0, true, 48, 8 * 2},
        {"4 bits: sixteen colours", header(3, 2, 4), 0, 0, true, 104, 4 * 2},
        {"8 bits with 10 colours", header(3, 2, 8, 10), 0, 0, true, 80, 4 * 2},
        {"32 bits, bit fields", header(2, 2, 32, 0, BI_BITFIELDS), 0, 0, true, 52, 16},
        {"32 bits, alpha bit fields", header(2, 2, 32, 0, BI_ALPHABITFIELDS), 0, 0, true, 56, 16},
        {"V5 header keeps its masks", header(2, 2, 32, 0, BI_BITFIELDS, 124), 0, 0, true, 124, 16},
        {"bits one byte short", header(5, 3, 24), 0, -1, false, 0, 0},
        {"table one entry short", header(3, 2, 4), -4, 0, false, 0, 0},
        {"7 bits per pixel", header(4, 4, 7), 0, 0, false, 0, 0},
        {"width 0", header(0, 4, 24), 0, 0, false, 0, 0},
        {"negative width", header(-4, 4, 24), 0, 0, false, 0, 0},
        {"height 0", header(4, 0, 24), 0, 0, false, 0, 0},
        {"height INT32_MIN", header(4, INT32_MIN, 24), 0, 0, false, 0, 0},
        {"above the size limit", header(1 << 15, (1 << 13) + 1, 8), 0, 0, false, 0, 0},
        {"run-length data", header(4, 4, 8, 0, 1), 0, 0, false, 0, 0},
        {"bit fields at 24 bits", header(4, 4, 24, 0, BI_BITFIELDS), 0, 0, false, 0, 0},
        {"300 colours at 8 bits", header(4, 4, 8, 300), 0, 0, false, 0, 0},
        {"header size 12", header(4, 4, 24, 0, BI_RGB, 12), 0, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Blocks sized as the accepted layout needs (or as the 40-byte form would).
        const std::size_t needInfo = c.accepted ? c.headerSize : 40 + 4 * 16;
        const std::size_t stride =
            (static_cast<std::size_t>(std::max(c.header.biBitCount, std::uint16_t{1})) *
                 static_cast<std::size_t>(std::max(c.header.biWidth, 1)) +
             31) /
            32 * 4;
        const std::size_t needBits =
            c.accepted ? c.imageSize
                       : stride * std::min<std::size_t>(
                                      4, static_cast<std::size_t>(std::llabs(c.header.biHeight)));
        std::vector<char> info(
            std::max<long long>(40, static_cast<long long>(needInfo) + c.infoDelta));
        std::memcpy(info.data(), &c.header, sizeof c.header);
        const auto layout = CheckDib(info.data(), info.size(), needBits + c.bitsDelta);
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

// The import filters shipped with the program, on pictures made by Debian's
// own tools, and on broken and hostile files.
#include "base/picture.h"
#include "spi/spi_bitmap.h"
#include "tests/spi/spi_test_support.h"

#include <QRandomGenerator>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class ShippedPlugins : public ::testing::Test {
protected:
    void SetUp() override { m.search(shippedPluginFolder() + "/*.spi"); }
    ManagerScope m;
    TempDir dir;
};

const QString kCouldNotDecode = QStringLiteral("Susie Plugins could not decode");

// The plug-in path alone (no fallback to the bitmap reader): the picture or the error.
QImage decode(const std::string& file, QString* error = nullptr) {
    TSPIGraphic graphic;
    try {
        graphic.loadFromFile(file);
    } catch (const Exception& e) {
        if (error)
            *error = e.message();
        return {};
    }
    return graphic.image();
}

std::string bigEndian32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A PNG whose header claims width x height (with a valid checksum), and a little data.
std::string pngClaiming(std::uint32_t width, std::uint32_t height) {
    std::string ihdr =
        "IHDR" + bigEndian32(width) + bigEndian32(height) + std::string("\x08\x02\x00\x00\x00", 5);
    // CRC-32 of the chunk type and data, as PNG wants it.
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char byte : ihdr) {
        c ^= byte;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian32(13) + ihdr + bigEndian32(~c) +
           bigEndian32(4) + "IDAT" + std::string(8, '\0');
}

// A GIF whose screen and first image claim 65535 x 65535 pixels.
std::string gifClaimingTheMost() {
    std::string gif = "GIF89a";
    gif +=
        std::string("\xFF\xFF\xFF\xFF\x80\x00\x00", 7) + std::string(6, '\0'); // screen, 2 colours
    gif += std::string("\x2C\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x00\x02\x02\x4C\x01\x00\x3B", 16);
    return gif;
}

} // namespace

TEST_F(ShippedPlugins, EveryFormatDecodesToTheSourcePicture) {
    const std::vector<FormatPicture> pictures = makeFormatPictures(dir, 64, 48);
    if (pictures.empty())
        GTEST_SKIP() << "ImageMagick, heif-enc or avifenc is missing (scripts/setup.sh --test)";
    ASSERT_EQ(m.spis.Count(), 6);
    const QImage source = formatSource(64, 48);
    for (const FormatPicture& p : pictures) {
        SCOPED_TRACE(p.name);
        QString error;
        const QImage decoded = decode(p.path, &error);
        ASSERT_FALSE(decoded.isNull()) << error.toStdString();
        // The transparent column is compared by its alpha only.
        const int from = p.alpha ? 1 : 0;
        const int difference = largestDifference(decoded.copy(from, 0, 64 - from, 48),
                                                 source.copy(from, 0, 64 - from, 48));
        EXPECT_LE(difference, p.tolerance);
        EXPECT_EQ(decoded.hasAlphaChannel(), p.alpha);
        if (p.alpha) {
            EXPECT_EQ(qAlpha(decoded.pixel(0, 10)), 0);
            EXPECT_EQ(qAlpha(decoded.pixel(1, 10)), 255);
        }
        // The picture loader picks the plug-in bitmap by the extension.
        TPicture loader;
        loader.loadFromFile(p.path);
        EXPECT_STREQ(loader.graphic()->graphicClass().name, "TSPIBitmap");
        EXPECT_EQ(loader.width(), 64);
    }
    // Each file is read by its own filter whatever its name says.
    const std::string renamed = dir.file("pics/heic-named.png");
    std::filesystem::copy_file(pictures[pictures.size() - 2].path, renamed);
    EXPECT_EQ(decode(renamed).size(), QSize(64, 48));
}

TEST_F(ShippedPlugins, BrokenAndHostileFilesAreRefusedCleanly) {
    const std::vector<FormatPicture> pictures = makeFormatPictures(dir, 64, 48);
    if (pictures.empty())
        GTEST_SKIP() << "ImageMagick, heif-enc or avifenc is missing (scripts/setup.sh --test)";
    struct Hostile {
        std::string name;
        std::string bytes;
    };
    std::vector<Hostile> files = {
        {"png 100000 x 100000", pngClaiming(100000, 100000)},
        {"png 2^31 - 1 wide", pngClaiming(0x7FFFFFFF, 1)},
        {"gif 65535 x 65535", gifClaimingTheMost()},
    };
    for (const FormatPicture& p : pictures) {
        const std::string bytes = readFile(p.path);
        files.push_back({p.name + " cut in half", bytes.substr(0, bytes.size() / 2)});
        files.push_back({p.name + " magic only", bytes.substr(0, 16)});
    }
    for (const Hostile& f : files) {
        SCOPED_TRACE(f.name);
        QString error;
        EXPECT_TRUE(decode(dir.write("hostile/file", f.bytes), &error).isNull());
        EXPECT_EQ(error, kCouldNotDecode);
    }
    // A GIF screen with one side of 0 is drawn at the image's size.
    const auto gif = std::find_if(pictures.begin(), pictures.end(),
                                  [](const FormatPicture& p) { return p.name == "GIF"; });
    ASSERT_NE(gif, pictures.end());
    std::string flat = readFile(gif->path);
    flat.replace(6, 4, std::string("\xE8\x03\x00\x00", 4)); // 1000 x 0
    EXPECT_EQ(decode(dir.write("flat.gif", flat)).size(), QSize(64, 48));

    // Damaged bytes anywhere either decode or fail; the program goes on either way.
    QRandomGenerator random(20240601);
    for (const FormatPicture& p : pictures)
        for (int i = 0; i < 4; ++i) {
            std::string bytes = readFile(p.path);
            for (int k = 0; k < 8; ++k)
                bytes[random.bounded(static_cast<quint32>(bytes.size()))] =
                    static_cast<char>(random.bounded(256));
            decode(dir.write("damaged/file", bytes));
        }
    EXPECT_EQ(decode(pictures.front().path).size(), QSize(64, 48));
}

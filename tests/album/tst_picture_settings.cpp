#include "album/picture_settings.h"
#include "settings/inifile.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::TempDir;

namespace {
TPictureSettings read(const TempDir& dir, TPictureKind kind) {
    TIniFile ini(dir.file("Option.ini"));
    return ReadPictureSettings(ini, kind);
}
} // namespace

TEST(PictureSettings, DefaultsWithoutOptionFile) {
    TempDir dir;
    const TPictureSettings large = read(dir, TPictureKind::Large);
    EXPECT_EQ(large.Header, "L");
    EXPECT_EQ(large.Folder, "large");
    EXPECT_EQ(large.PictureType, "Jpeg");
    EXPECT_EQ(large.Quality, 255);
    EXPECT_TRUE(large.PictureSizeMode);
    EXPECT_EQ(large.Rate, 50);
    EXPECT_EQ(large.Vertical, 300);
    EXPECT_EQ(large.Horizonal, 300);
    EXPECT_TRUE(large.Consecutive);

    const TPictureSettings small = read(dir, TPictureKind::Small);
    EXPECT_EQ(small.Header, "S");
    EXPECT_EQ(small.Folder, "Small");
    EXPECT_EQ(small.PictureType, "Jpeg");
    EXPECT_EQ(small.Quality, 100);
    EXPECT_TRUE(small.PictureSizeMode);
    EXPECT_EQ(small.Rate, 30);
    EXPECT_EQ(small.Vertical, 100);
    EXPECT_EQ(small.Horizonal, 100);
    EXPECT_TRUE(small.Consecutive);
}

TEST(PictureSettings, ValuesAsTheGenerationWindowReadsThem) {
    TempDir dir;
    dir.write("Option.ini", "[large]\r\n"
                            "header=\r\n"
                            "Quality=0x20\r\n"
                            "PictureSizeMode=2\r\n"
                            "Rate=abc\r\n"
                            "Vertical=\r\n"
                            "Horizontal=640\r\n"
                            "Consecutive=0\r\n"
                            "[Small]\r\n"
                            "Vertical=12a\r\n"
                            "Folder=\"thumbs\"\r\n"
                            "PictureType=Png\r\n");
    const TPictureSettings large = read(dir, TPictureKind::Large);
    EXPECT_EQ(large.Header, "");        // present but empty: no prefix
    EXPECT_EQ(large.Quality, 32);       // hexadecimal
    EXPECT_TRUE(large.PictureSizeMode); // any non-zero number
    EXPECT_EQ(large.Rate, 50);          // unparsable: default
    EXPECT_EQ(large.Vertical, 300);     // empty is no number: default
    EXPECT_EQ(large.Horizonal, 300);    // only the key spelt "Horizonal" counts
    EXPECT_FALSE(large.Consecutive);

    const TPictureSettings small = read(dir, TPictureKind::Small);
    EXPECT_EQ(small.Vertical, 100);
    EXPECT_EQ(small.Folder, "thumbs");
    EXPECT_EQ(small.PictureType, "Png");
}

// A JPEG converted row by row gives the very files that decoding it whole,
// turning it upright, scaling and encoding give.
#include "album/picture_converter.h"
#include "album/picture_job.h"
#include "album/staged_file.h"
#include "album/streamed_conversion.h"
#include "base/file_io.h"
#include "base/picture.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_image.h"
#include "tests/album/sized_settings.h"
#include "tests/jpeg/jpeg_samples.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

struct Sample {
    const char* name;
    std::string jpeg;
};

std::vector<Sample> samples() {
    std::vector<Sample> s = {
        {"4:2:0 baseline, odd size", encodeWithCjpeg(photoLike(333, 201, 1), {"-quality", "90"})},
        {"4:2:2 progressive",
         encodeWithCjpeg(photoLike(257, 190, 2), {"-sample", "2x1", "-progressive"})},
        {"4:4:4 with restart markers",
         encodeWithCjpeg(photoLike(200, 131, 3), {"-sample", "1x1", "-restart", "2"})},
        {"grey", encodeWithCjpeg(photoLike(150, 99, 4), {"-grayscale"})},
        {"CMYK from Adobe", cmykJpeg(64, 40, 10, 200, 30, 40, true)},
        {"cut short", encodeWithCjpeg(photoLike(120, 90, 5), {}).substr(0, 900)},
    };
    // Every way a camera may have been held, on a progressive photo too.
    for (int o = 2; o <= 8; ++o)
        s.push_back({"orientation",
                     withExifOrientation(encodeWithCjpeg(photoLike(97, 61, 10u + o),
                                                         {o % 2 ? "-progressive" : "-baseline"}),
                                         o)});
    return s;
}

TPictureSettings sized(bool percent, int rate, int w, int h, int quality, const char* header) {
    TPictureSettings s = sizedSettings("Jpeg", percent, rate, w, h, quality);
    s.Header = std::string(header); // assigning the pointer itself makes GCC 12 warn at -O3
    return s;
}

QImage decodedWhole(const std::string& file) {
    TPicture picture;
    picture.loadFromFile(file);
    return picture.graphic()->image();
}

std::string wholeConversion(const std::string& file, const TPictureSettings& settings) {
    return EncodeScaledPicture(settings, decodedWhole(file));
}

// The large and the small file of a streamed conversion.
std::pair<std::string, std::string> streamed(const TempDir& dir, const std::string& file,
                                             const TPictureSettings& large,
                                             const TPictureSettings& small) {
    TStagedFile l(dir.file("L.jpg"));
    TStagedFile s(dir.file("S.jpg"));
    const int fd = openDescriptorForReading(file);
    {
        JpegRowReader reader(fd, {});
        const TScaledOutput outputs[] = {{&large, &l}, {&small, &s}};
        const QImage preview = ConvertJpegRows(reader, outputs, 16, nullptr);
        EXPECT_LE(std::max(preview.width(), preview.height()), 16);
    }
    ::close(fd);
    l.commit();
    s.commit();
    return {readFile(dir.file("L.jpg")), readFile(dir.file("S.jpg"))};
}

} // namespace

TEST(StreamedConversion, SameBytesAsDecodingWhole) {
    registerJpegFormat();
    TempDir dir;
    // Reduced, enlarged, stretched; qualities as the settings allow them.
    const std::pair<TPictureSettings, TPictureSettings> pairs[] = {
        {sized(true, 50, 0, 0, 255, "L"), sized(true, 30, 0, 0, 100, "S")},
        {sized(true, 200, 0, 0, 75, "L"), sized(false, 0, 37, 23, 90, "S")},
        {sized(false, 0, 5, 300, 50, "L"), sized(true, 1, 0, 0, 100, "S")},
    };
    int n = 0;
    for (const Sample& sample : samples()) {
        const std::string file = dir.write("in" + std::to_string(n++) + ".jpg", sample.jpeg);
        for (const auto& [large, small] : pairs) {
            SCOPED_TRACE(std::string(sample.name) + " -> " + std::to_string(large.Rate) + "/" +
                         std::to_string(small.Rate));
            const auto [l, s] = streamed(dir, file, large, small);
            EXPECT_EQ(l, wholeConversion(file, large));
            EXPECT_EQ(s, wholeConversion(file, small));
        }
    }
}

TEST(StreamedConversion, SmoothOutputsAreFilteredFromTheirOwnDecoding) {
    registerJpegFormat();
    TempDir dir;
    const Sample pictures[] = {
        {"4:2:0", encodeWithCjpeg(photoLike(640, 480, 21), {"-quality", "95"})},
        {"progressive grey",
         encodeWithCjpeg(photoLike(500, 333, 22), {"-grayscale", "-progressive"})},
        {"turned a quarter",
         withExifOrientation(encodeWithCjpeg(photoLike(480, 320, 23), {"-quality", "95"}), 6)},
    };
    TPictureSettings large = sized(true, 50, 0, 0, 100, "L");
    large.Smooth = true;
    const TPictureSettings small = sized(true, 30, 0, 0, 100, "S");
    TPictureSettings fitted = sized(false, 0, 100, 100, 100, "S");
    fitted.Smooth = true;
    fitted.KeepAspect = true;
    int n = 0;
    for (const Sample& picture : pictures) {
        SCOPED_TRACE(picture.name);
        const std::string file = dir.write(std::string("s") + std::to_string(n++) + ".jpg", picture.jpeg);
        const auto [l1, s1] = streamed(dir, file, large, small);
        const auto [l2, s2] = streamed(dir, file, large, fitted);
        // A nearest-neighbour output beside a smooth one is the one it always was.
        EXPECT_EQ(s1, wholeConversion(file, small));

        const QImage upright = decodedWhole(file);
        for (const std::string* jpeg : {&l1, &s2}) {
            const QImage got = decodeWithQt(*jpeg);
            const QImage reference = magickLanczos(upright, got.size(), dir.path());
            ASSERT_FALSE(reference.isNull()) << "ImageMagick's convert failed";
            EXPECT_GE(psnr(got, reference), 38.0) << got.width() << "x" << got.height();
        }
        EXPECT_EQ(decodeWithQt(s2).size(), TargetSize(fitted, upright.width(), upright.height()));
    }
}

TEST(StreamedConversion, OneDecodingCoversEveryOutput) {
    TPictureSettings half = sized(true, 50, 0, 0, 100, "L");
    TPictureSettings third = sized(true, 30, 0, 0, 100, "S");
    TPictureSettings wide = sized(false, 0, 1200, 100, 100, "S");
    for (TPictureSettings* s : {&half, &third, &wide})
        s->Smooth = true;
    const TPictureSettings picked = sized(true, 10, 0, 0, 100, "S");
    const struct {
        JpegHeader header;
        const TPictureSettings* large;
        const TPictureSettings* small;
        int eighths;
    } cases[] = {
        {{4000, 3000}, &half, &third, 4}, // the larger output decides
        {{4000, 3000}, &third, &third, 3},
        {{4000, 3000}, &half, &picked, 8},                 // picking pixels takes full-size rows
        {{4000, 3000}, &third, &wide, 3},                  // 1200 of 4000 across: 3/8
        {{4000, 3000, false, false, 6}, &third, &wide, 4}, // turned: 1200 of 3000
    };
    for (const auto& c : cases) {
        const TScaledOutput outputs[] = {{c.large, nullptr}, {c.small, nullptr}};
        EXPECT_EQ(JpegDecodeScale(c.header, outputs), c.eighths)
            << c.large->Rate << "/" << c.small->Rate << " orientation " << c.header.orientation;
    }
}

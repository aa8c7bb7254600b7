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
    s.Header = header;
    return s;
}

std::string wholeConversion(const std::string& file, const TPictureSettings& settings) {
    TPicture picture;
    picture.loadFromFile(file);
    return EncodeScaledPicture(settings, picture.graphic()->image());
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
            EXPECT_EQ(readFile(dir.file("L.jpg")), wholeConversion(file, large));
            EXPECT_EQ(readFile(dir.file("S.jpg")), wholeConversion(file, small));
        }
    }
}

// Filtered scaling: close to ImageMagick's Lanczos resize, every output row once
// and in order whatever the sizes, flat colour kept flat.
#include "album/smooth_scale.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

TEST(SmoothScale, CloseToImageMagickLanczos) {
    TempDir dir;
    const struct {
        QSize source;
        QSize target;
    } cases[] = {
        {{333, 201}, {100, 60}},  // reduced
        {{640, 480}, {91, 68}},   // reduced a lot
        {{50, 40}, {100, 80}},    // enlarged twice
        {{97, 61}, {37, 90}},     // stretched both ways
        {{2000, 1500}, {50, 30}}, // beyond one pass of the library's filter
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.source.width()) + "x" + std::to_string(c.source.height()) +
                     " -> " + std::to_string(c.target.width()) + "x" +
                     std::to_string(c.target.height()));
        const QImage picture = photoLike(c.source.width(), c.source.height(), 7);
        const QImage ours = ScaleSmooth(picture, c.target.width(), c.target.height());
        const QImage reference = magickLanczos(picture, c.target, dir.path());
        ASSERT_FALSE(reference.isNull()) << "ImageMagick's convert failed";
        ASSERT_EQ(ours.size(), c.target);
        EXPECT_GE(psnr(ours, reference), 45.0); // about 51 here
        // Picking pixels is what the filter improves on.
        EXPECT_GT(psnr(ours, reference),
                  psnr(picture.scaled(c.target, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                           .convertToFormat(QImage::Format_BGR888),
                       reference));
    }
}

TEST(SmoothScale, GreyAndAlphaPicturesKeepTheirKind) {
    const QImage colour = photoLike(120, 90, 3);
    const QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
    const QImage greyScaled = ScaleSmooth(grey, 50, 40);
    EXPECT_GE(psnr(greyScaled, ScaleSmooth(grey.convertToFormat(QImage::Format_BGR888), 50, 40)),
              50.0);

    // Half-transparent: alpha stays, colours are those of the opaque picture.
    QImage translucent = colour.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x) {
            const QRgb p = translucent.pixel(x, y);
            translucent.setPixel(x, y, qRgba(qRed(p), qGreen(p), qBlue(p), 128));
        }
    const QImage scaled = ScaleSmooth(translucent, 50, 40);
    ASSERT_EQ(scaled.format(), QImage::Format_ARGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(qAlpha(scaled.pixel(x, y)), 128) << x << "," << y;
    EXPECT_GE(psnr(scaled.convertToFormat(QImage::Format_BGR888), ScaleSmooth(colour, 50, 40)),
              40.0);
}

TEST(SmoothScaler, EveryRowOnceInOrderAndFlatStaysFlat) {
    // Sizes at the edges of what the slices and the filter's window cover.
    const struct {
        QSize source;
        QSize target;
    } cases[] = {
        {{1, 1}, {1, 1}},        {{1, 1}, {5, 300}},   {{2, 2}, {1, 1}},     {{3, 2}, {400, 1000}},
        {{1000, 1}, {7, 1}},     {{5, 4000}, {3, 2}},  {{64, 17}, {64, 16}}, {{64, 33}, {200, 35}},
        {{300, 300}, {37, 301}}, {{4000, 40}, {1, 1}}, {{20000, 3}, {9, 2}},
    };
    for (const int channels : {1, 3, 4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(
                std::to_string(channels) + " channels, " + std::to_string(c.source.width()) + "x" +
                std::to_string(c.source.height()) + " -> " + std::to_string(c.target.width()) +
                "x" + std::to_string(c.target.height()));
            const uchar value[4] = {10, 200, 77, 255};
            std::vector<uchar> row(static_cast<std::size_t>(c.source.width() * channels));
            for (std::size_t i = 0; i < row.size(); ++i)
                row[i] = value[i % static_cast<std::size_t>(channels)];
            int next = 0;
            int wrong = 0;
            SmoothScaler scaler(c.source, c.target, channels, [&](int y, const uchar* out) {
                EXPECT_EQ(y, next++);
                for (int i = 0; i < c.target.width() * channels; ++i)
                    wrong += std::abs(out[i] - value[i % channels]) > 1;
            });
            for (int y = 0; y < c.source.height(); ++y)
                scaler.push(row.data());
            EXPECT_EQ(next, c.target.height());
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(SmoothScale, CoveringJpegScale) {
    const struct {
        QSize stored;
        QSize target;
        int eighths;
    } cases[] = {
        {{4000, 3000}, {2000, 1500}, 4}, // exactly half
        {{4000, 3000}, {1200, 900}, 3},  // 2/8 would be 1000 wide
        {{4000, 3000}, {500, 375}, 1},
        {{4000, 3000}, {501, 375}, 2},
        {{9, 9}, {2, 2}, 1},             // ceil(9/8) = 2 covers
        {{4000, 3000}, {1000, 3000}, 8}, // stretched down one side only
        {{640, 480}, {1280, 960}, 8},    // enlarged: full size
    };
    for (const auto& c : cases)
        EXPECT_EQ(CoveringJpegScale(c.stored, c.target), c.eighths)
            << c.target.width() << "x" << c.target.height();
}

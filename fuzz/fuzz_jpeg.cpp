// libFuzzer entry for the JPEG picture object: whatever the bytes, loading and
// decoding them ends in a picture or a kelvora::Exception, never a crash.

#include "base/bitmap.h"
#include "base/errors.h"
#include "jpeg/jpeg_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
using kelvora::TJPEGImage;

// A header may declare a picture far larger than its data; decoding such a one
// is correct but slow, so the fuzzer decodes only up to this size. Above
// kMaxPicturePixels it still decodes, to exercise the size guard (which refuses
// before allocating).
constexpr long long kFuzzMaxPixels = 4LL << 20;

void decodeWith(const std::string& bytes, void (*configure)(TJPEGImage&), bool reencode) {
    try {
        TJPEGImage jpeg;
        configure(jpeg);
        jpeg.loadFromBytes(bytes);
        const int width = jpeg.width();
        const int height = jpeg.height();
        const long long pixels = static_cast<long long>(width) * height;
        if (pixels > kFuzzMaxPixels && pixels <= kelvora::kMaxPicturePixels)
            return;
        const QImage picture = jpeg.image();
        // The size promised before decoding is the size decoded.
        if (!picture.isNull() && (picture.width() != width || picture.height() != height))
            std::abort();
        if (reencode && !picture.isNull()) {
            kelvora::TBitmap bitmap;
            bitmap.setImage(picture);
            TJPEGImage out;
            out.assign(bitmap);
            out.compress();
            if (out.data()->data.empty())
                std::abort();
        }
    } catch (const kelvora::Exception&) {
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    decodeWith(
        bytes, [](TJPEGImage&) {}, true);
    decodeWith(
        bytes, [](TJPEGImage& j) { j.setGrayscale(true); }, false);
    decodeWith(
        bytes, [](TJPEGImage& j) { j.setPixelFormat(kelvora::TJPEGPixelFormat::jf8Bit); }, false);
    decodeWith(
        bytes, [](TJPEGImage& j) { j.setScale(kelvora::TJPEGScale::jsHalf); }, false);
    decodeWith(
        bytes,
        [](TJPEGImage& j) {
            j.setProgressiveDisplay(true);
            j.setPerformance(kelvora::TJPEGPerformance::jpBestSpeed);
        },
        false);
    return 0;
}

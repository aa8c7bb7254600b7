// libFuzzer entry for the bitmap reader: whatever the bytes, decoding them ends in
// a picture or a kelvora::Exception, never a crash; a decoded picture survives
// being written and read back.

#include "base/bmp_codec.h"
#include "base/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// A few bytes of run-length data can declare a picture of 2^28 pixels; decoding
// one is correct (tests cover it) but takes the fuzzer a second each. Such
// pictures up to the limit are skipped; above it the size guard is exercised.
bool declaresLargePicture(const std::uint8_t* data, std::size_t size) {
    if (size < 26)
        return false;
    const auto le = [data](std::size_t at, int bytes) {
        std::int64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = v << 8 | data[at + static_cast<std::size_t>(i)];
        return v;
    };
    const bool os2 = le(14, 4) == 12;
    std::int64_t w = os2 ? le(18, 2) : static_cast<std::int32_t>(le(18, 4));
    std::int64_t h = os2 ? le(20, 2) : static_cast<std::int32_t>(le(22, 4));
    const std::int64_t pixels = (w < 0 ? -w : w) * (h < 0 ? -h : h);
    return pixels > (std::int64_t{4} << 20) && pixels <= kelvora::kMaxPicturePixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (declaresLargePicture(data, size))
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kelvora::DecodedBitmap decoded;
    try {
        decoded = kelvora::decodeBmp(bytes);
    } catch (const kelvora::Exception&) {
        return 0;
    }
    const QImage& image = decoded.image;
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        std::abort(); // a "success" must hold pixels
    // Large pictures are legal (run-length data can declare them in a few bytes);
    // writing them back would only slow the fuzzer down.
    if (static_cast<long long>(image.width()) * image.height() > (1 << 20))
        return 0;
    try {
        const std::string again = kelvora::encodeBmp(image, decoded.pixelFormat);
        const kelvora::DecodedBitmap back = kelvora::decodeBmp(again);
        if (back.image.size() != image.size())
            std::abort();
    } catch (const kelvora::Exception&) {
        std::abort(); // what we wrote ourselves must read back
    }
    return 0;
}

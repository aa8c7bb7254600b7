// libFuzzer entry for the bitmap reader: whatever the bytes, decoding them ends in
// a picture or a kelvora::Exception, never a crash; a decoded picture survives
// being written and read back.

#include "base/bmp_codec.h"
#include "base/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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

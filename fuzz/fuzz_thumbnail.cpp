// libFuzzer entry for thumbnails: the bytes as a photo (its Exif thumbnail, its
// reduced decode) and as a file of the thumbnail cache. Whatever the bytes, a
// thumbnail within its size or a kelvora::Exception (or nothing, for the cache),
// never a crash.
#include "base/errors.h"
#include "thumbs/exif_thumbnail.h"
#include "thumbs/thumbnail_maker.h"
#include "thumbs/thumbnail_png.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kelvora::ExifThumbnail(bytes);
    const int file = memfd_create("fuzz", MFD_CLOEXEC);
    if (file >= 0 && write(file, data, size) == static_cast<ssize_t>(size)) {
        const std::string name = "/proc/self/fd/" + std::to_string(file);
        try {
            const kelvora::TMadeThumbnail made =
                kelvora::MakeThumbnail(name, kelvora::TThumbnailDecoder::Jpeg, 128, nullptr);
            if (made.image.width() > 128 || made.image.height() > 128)
                std::abort();
        } catch (const kelvora::Exception&) {
        }
        if (const auto png = kelvora::ReadThumbnailPng(name, 128))
            if (png->image.width() > 128 || png->image.height() > 128)
                std::abort();
    }
    if (file >= 0)
        close(file);
    return 0;
}

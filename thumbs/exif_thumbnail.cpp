#include "thumbs/exif_thumbnail.h"

#include <cstring>
#include <libexif/exif-data.h>
#include <memory>

namespace kelvora {
namespace {

struct ExifDataUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
constexpr char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// The content of the first APP1 segment that holds Exif data.
std::optional<std::string_view> exifSegment(std::string_view jpeg) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(jpeg[i]); };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (byte(at) != 0xFF)
            return std::nullopt;
        const unsigned char marker = byte(at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // the scan starts: no more headers
            return std::nullopt;
        const std::size_t length = std::size_t(byte(at + 2)) << 8 | byte(at + 3);
        if (length < 2 || at + 2 + length > jpeg.size())
            return std::nullopt;
        const std::string_view content = jpeg.substr(at + 4, length - 2);
        if (marker == 0xE1 && content.size() >= sizeof kExifHeader &&
            std::memcmp(content.data(), kExifHeader, sizeof kExifHeader) == 0)
            return content;
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ExifThumbnail(std::string_view jpeg) {
    const std::optional<std::string_view> segment = exifSegment(jpeg);
    if (!segment)
        return std::nullopt;
    std::unique_ptr<ExifData, ExifDataUnref> exif(exif_data_new());
    if (!exif)
        return std::nullopt;
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(exif.get(), reinterpret_cast<const unsigned char*>(segment->data()),
                        static_cast<unsigned int>(segment->size()));
    if (!exif->data || exif->size < 4)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(exif->data), exif->size);
}

} // namespace kelvora

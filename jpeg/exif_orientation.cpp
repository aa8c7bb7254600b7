#include "jpeg/exif_orientation.h"

#include "base/orientation.h"

#include <cstring>
#include <libexif/exif-data.h>
#include <memory>

namespace kelvora {
namespace {
struct ExifDataUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
constexpr unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
} // namespace

int ExifOrientation(const unsigned char* data, std::size_t size) {
    if (size < sizeof kExifHeader || std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0 ||
        size > 0xFFFF)
        return 1;
    std::unique_ptr<ExifData, ExifDataUnref> exif(exif_data_new());
    if (!exif)
        return 1;
    // Read the tags as they are: no fixing up, no maker notes.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(exif.get(), data, static_cast<unsigned int>(size));
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data ||
        entry->size < 2)
        return 1;
    return ValidOrientation(exif_get_short(entry->data, exif_data_get_byte_order(exif.get())));
}

int ExifOrientation(j_decompress_ptr info) {
    // The first Exif segment counts, as in every viewer.
    for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExifHeader &&
            std::memcmp(m->data, kExifHeader, sizeof kExifHeader) == 0)
            return ExifOrientation(m->data, m->data_length);
    return 1;
}

} // namespace kelvora

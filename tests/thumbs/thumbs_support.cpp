#include "tests/thumbs/thumbs_support.h"

#include "tests/support/images.h"

#include <QBuffer>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libexif/exif-data.h>
#include <stdexcept>
#include <sys/stat.h>

namespace kelvora::test {

QImage plainImage(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::string writeJpeg(const TempDir& dir, const std::string& name, const QImage& image) {
    return saveImage(image, dir.file(name), "jpg", 90);
}

std::string withExifThumbnail(const std::string& jpeg, const std::string& thumbnail,
                              int orientation) {
    ExifData* exif = exif_data_new();
    exif_data_set_byte_order(exif, EXIF_BYTE_ORDER_INTEL);
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(exif->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(orientation));
    exif_entry_unref(entry);
    exif->data = static_cast<unsigned char*>(std::malloc(thumbnail.size()));
    std::memcpy(exif->data, thumbnail.data(), thumbnail.size());
    exif->size = static_cast<unsigned int>(thumbnail.size());
    unsigned char* saved = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif, &saved, &size);
    exif_data_unref(exif);
    if (!saved || size + 2 > 0xFFFF)
        throw std::runtime_error("libexif wrote no segment");
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>((size + 2) >> 8);
    segment += static_cast<char>((size + 2) & 0xFF);
    segment.append(reinterpret_cast<const char*>(saved), size);
    std::free(saved);
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

void saveForeignThumbnail(const std::string& path, QImage image, const std::string& uri,
                          const char* mtime) {
    image.setText("Thumb::URI", QString::fromStdString(uri));
    image.setText("Thumb::MTime", QString::fromLatin1(mtime));
    image.setText("Software", "Other Viewer 2.0");
    if (!image.save(QString::fromStdString(path), "png"))
        throw std::runtime_error("cannot write " + path);
}

void setModified(const std::string& path, std::time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat " + path);
}

std::time_t modifiedOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("stat " + path);
    return st.st_mtim.tv_sec;
}

std::map<std::string, std::string> pngTextChunks(const std::string& png) {
    std::map<std::string, std::string> texts;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length = length << 8 | static_cast<unsigned char>(png[at + i]);
        const std::string type = png.substr(at + 4, 4);
        if (type == "tEXt") {
            const std::string body = png.substr(at + 8, length);
            const auto zero = body.find('\0');
            texts[body.substr(0, zero)] = body.substr(zero + 1);
        }
        at += 12 + length;
    }
    return texts;
}

} // namespace kelvora::test

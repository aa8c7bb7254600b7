#include "thumbs/fail_entry.h"

#include "thumbs/cache_file.h"
#include "thumbs/thumbnail_png.h"

namespace kelvora {

std::string ThumbnailSoftware() {
    return std::string("Kelvora ") + KELVORA_VERSION;
}

std::string FailEntryFolder(const std::string& cacheRoot) {
    return cacheRoot + "/fail/kelvora-" + KELVORA_VERSION;
}

bool WriteFailEntry(const std::string& cacheRoot, const std::string& fileName,
                    const std::string& uri, std::time_t mtime) {
    const std::string folder = FailEntryFolder(cacheRoot);
    if (!MakePrivateFolders(folder))
        return false;
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.fill(Qt::transparent);
    const std::string png = EncodeThumbnailPng(pixel, {{"Thumb::URI", uri},
                                                       {"Thumb::MTime", std::to_string(mtime)},
                                                       {"Software", ThumbnailSoftware()}});
    return !png.empty() && WriteCacheFile(folder + "/" + fileName, png);
}

bool HasValidFailEntry(const std::string& cacheRoot, const std::string& fileName,
                       const std::string& uri, std::time_t mtime) {
    const auto entry = ReadThumbnailPng(FailEntryFolder(cacheRoot) + "/" + fileName, 1);
    return entry && ThumbnailMatches(*entry, uri, mtime);
}

} // namespace kelvora

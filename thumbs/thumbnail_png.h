#pragma once
// Thumbnail files: PNG pictures whose tEXt chunks say which file they show
// ("Thumb::URI") and as it was when ("Thumb::MTime", whole seconds). Reading one
// is bounded: a cache file larger than a thumbnail of its folder can be, a
// picture with a longer side than the folder's, a FIFO or a link to a device is
// no thumbnail and is never decoded.
#include <QImage>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvora {

using TThumbnailKeys = std::vector<std::pair<std::string, std::string>>;

// The picture as a PNG with the keys as uncompressed tEXt chunks (Latin-1 text),
// placed before the pixels so that readers find them without decoding.
std::string EncodeThumbnailPng(const QImage& image, const TThumbnailKeys& keys);

struct TThumbnailPng {
    QImage image;
    std::string uri;   // Thumb::URI, empty when absent
    std::string mtime; // Thumb::MTime as written, empty when absent
};
// The thumbnail stored at path, when it is a regular file of a PNG whose sides
// are both at most maxSide; nothing otherwise (missing, damaged, too large).
std::optional<TThumbnailPng> ReadThumbnailPng(const std::string& path, int maxSide);

// Whether a stored thumbnail shows the file with this URI and modification time:
// its URI must be the same bytes and its MTime the same whole seconds (read as a
// decimal number, like atol, so that "1700000000.5" counts as 1700000000).
bool ThumbnailMatches(const TThumbnailPng& stored, std::string_view uri, std::time_t mtime);

} // namespace kelvora

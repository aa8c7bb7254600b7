#pragma once
// The small JPEG that cameras embed in a photo's Exif data (IFD1), found without
// decoding the photo: only the segments before the first scan are walked.
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// The embedded thumbnail's JPEG stream of the first Exif segment; nothing when
// the file has none, or its Exif data is damaged.
std::optional<std::string> ExifThumbnail(std::string_view jpeg);

} // namespace kelvora

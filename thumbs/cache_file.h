#pragma once
// Writing into the thumbnail cache, which other programs read at any moment:
// a file appears whole or not at all, and only its user may read it.
#include <string>
#include <string_view>

namespace kelvora {

// Makes the folder and every missing parent, each new one with mode 0700; true
// when the folder is there afterwards.
bool MakePrivateFolders(const std::string& folder);
// Writes bytes to a temporary file beside path (mode 0600), then renames it over
// path; false, with nothing left behind, when any step fails. The folder must exist.
bool WriteCacheFile(const std::string& path, std::string_view bytes);

} // namespace kelvora

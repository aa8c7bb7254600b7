#pragma once
// Fail entries: a file this program could not make a thumbnail of is recorded
// under "fail/kelvora-<version>/" of the cache, with the name and the URI and
// MTime keys its thumbnail would have had, in a 1x1 PNG. While the file keeps
// that modification time it is not decoded again; a changed file is tried again,
// and so is every file after the program's version changes.
#include <ctime>
#include <string>

namespace kelvora {

// "Kelvora <version>": the Software key of the files this program writes.
std::string ThumbnailSoftware();
// cacheRoot + "/fail/kelvora-<version>"
std::string FailEntryFolder(const std::string& cacheRoot);
// Records the failure (folders made as needed); false when it cannot be written.
bool WriteFailEntry(const std::string& cacheRoot, const std::string& fileName,
                    const std::string& uri, std::time_t mtime);
// Whether a failure is recorded for the file with this URI and modification time.
bool HasValidFailEntry(const std::string& cacheRoot, const std::string& fileName,
                       const std::string& uri, std::time_t mtime);

} // namespace kelvora

#pragma once
// Whether a drive can be looked into: its folder exists and the file system
// answers. Both controls ask before they enumerate a drive root, so that a
// drive without its medium shows empty instead of failing.
#include <string>

namespace kelvora {

bool ShIsDriveReady(const std::string& rootPath);

} // namespace kelvora

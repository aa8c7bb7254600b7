#pragma once
// An open directory stream, closed with its owner.
#include <dirent.h>
#include <memory>

namespace kelvora {

struct TDirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

} // namespace kelvora

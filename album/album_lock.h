#pragma once
// One run per album: a run holds an flock on a lock file per folder it writes
// (the page's folder and each picture folder), so that two runs writing into
// the same folders, from two windows or from kelvora-album, cannot interleave.
// The lock files are named by a hash of the folder's canonical path (a folder
// not made yet counts by the path it will have) and live in
// $XDG_RUNTIME_DIR/kelvora (else the cache folder); they are never removed, as
// removing a lock file another process holds open would let a third run in.
// The locks go when the object (or the process) goes.
#include "base/unique_fd.h"

#include <string>
#include <vector>

namespace kelvora {

class TAlbumLock {
public:
    // Locks every folder or none. Raises EInvalidOperation
    // "このアルバムは作成中です: <page>" when another run holds one of them.
    TAlbumLock(const std::string& page, const std::vector<std::string>& folders);

private:
    std::vector<UniqueFd> locks_;
};

} // namespace kelvora

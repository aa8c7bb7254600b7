#pragma once
// Ownership of one local memory block on this side of the plug-in interface.
// Blocks cross the interface as plain HLOCAL handles (kelvora/susie.h); as soon
// as one is ours, a LocalBlock holds it, so that every way out of a scope (an
// error above all) gives it back with LocalFree, and release() hands it on.
//
// Plain C++ without Qt, so that the decoding helper uses it too. LocalFree of a
// handle that is no live block does nothing, so a LocalBlock may safely hold
// whatever a plug-in put in a handle slot.
#include "kelvora/susie.h"

#include <memory>

namespace kelvora {

struct LocalFreeDeleter {
    void operator()(HLOCAL block) const noexcept { LocalFree(block); }
};

using LocalBlock = std::unique_ptr<void, LocalFreeDeleter>;

} // namespace kelvora

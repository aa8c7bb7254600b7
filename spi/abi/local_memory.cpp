// Local memory blocks for plug-ins and their host (libkelvora_local).
//
// A handle is the address of the block's data, which follows a 32-byte
// header. Every live block is also kept in a set, so that a handle a plug-in
// made up, freed twice or took from elsewhere is recognised without reading
// the memory it points at: LocalSize gives 0 and LocalLock NULL for it. That
// is what lets the host check what a plug-in returns against what it really
// allocated. The set is guarded by one mutex; every function is thread-safe.
#include "kelvora/susie.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct alignas(16) BlockHeader {
    std::size_t size;
    std::uint32_t flags;
    std::uint32_t locks;
    std::uint64_t reserved[2];
};
static_assert(sizeof(BlockHeader) == 32);

struct Registry {
    std::mutex lock;
    std::unordered_set<const void*> live;
};

Registry& registry() {
    // Never destroyed: plug-ins may free blocks from their own destructors at exit.
    static Registry* r = new Registry;
    return *r;
}

BlockHeader* headerOf(HLOCAL h) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(h) - sizeof(BlockHeader));
}

// The header of a live block, or null; the caller holds the registry lock.
BlockHeader* liveHeader(Registry& r, HLOCAL h) {
    return h && r.live.count(h) ? headerOf(h) : nullptr;
}

HLOCAL newBlock(std::size_t bytes, std::uint32_t flags) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    void* raw = (flags & LMEM_ZEROINIT) ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                        : std::malloc(sizeof(BlockHeader) + bytes);
    if (!raw)
        return nullptr;
    auto* header = new (raw) BlockHeader{bytes, flags & LMEM_MOVEABLE, 0, {0, 0}};
    return reinterpret_cast<char*>(header) + sizeof(BlockHeader);
}

} // namespace

extern "C" {

HLOCAL LocalAlloc(uint32_t uFlags, size_t uBytes) {
    HLOCAL h = newBlock(uBytes, uFlags);
    if (!h)
        return nullptr;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    try {
        r.live.insert(h);
    } catch (const std::bad_alloc&) {
        std::free(headerOf(h));
        return nullptr;
    }
    return h;
}

void* LocalLock(HLOCAL hMem) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    BlockHeader* header = liveHeader(r, hMem);
    if (!header)
        return nullptr;
    if (header->flags & LMEM_MOVEABLE)
        ++header->locks;
    return hMem;
}

int32_t LocalUnlock(HLOCAL hMem) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    BlockHeader* header = liveHeader(r, hMem);
    if (!header || header->locks == 0)
        return 0;
    return --header->locks != 0;
}

HLOCAL LocalFree(HLOCAL hMem) {
    if (!hMem)
        return nullptr;
    Registry& r = registry();
    {
        std::lock_guard guard(r.lock);
        if (!r.live.erase(hMem))
            return hMem;
    }
    std::free(headerOf(hMem));
    return nullptr;
}

size_t LocalSize(HLOCAL hMem) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    BlockHeader* header = liveHeader(r, hMem);
    return header ? header->size : 0;
}

HLOCAL LocalReAlloc(HLOCAL hMem, size_t uBytes, uint32_t uFlags) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    BlockHeader* header = liveHeader(r, hMem);
    if (!header)
        return nullptr;
    if (uFlags & LMEM_MODIFY) {
        header->flags = (header->flags & ~LMEM_MOVEABLE) | (uFlags & LMEM_MOVEABLE);
        return hMem;
    }
    const std::size_t old = header->size;
    if (uBytes <= old) {
        header->size = uBytes;
        return hMem;
    }
    if (!(uFlags & LMEM_MOVEABLE) || header->locks != 0)
        return nullptr;
    HLOCAL moved = newBlock(uBytes, uFlags | header->flags);
    if (!moved)
        return nullptr;
    std::memcpy(moved, hMem, old);
    if (uFlags & LMEM_ZEROINIT)
        std::memset(static_cast<char*>(moved) + old, 0, uBytes - old);
    try {
        r.live.insert(moved);
    } catch (const std::bad_alloc&) {
        std::free(headerOf(moved));
        return nullptr;
    }
    r.live.erase(hMem);
    std::free(header);
    return moved;
}

} // extern "C"

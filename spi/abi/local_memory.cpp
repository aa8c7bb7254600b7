// Local memory blocks for plug-ins and their host (libkelvora_local).
//
// A handle is the address of the block's data, which follows a 32-byte
// header. Every live block is also kept in a set, so that a handle a plug-in
// made up, freed twice or took from elsewhere is recognised without reading
// the memory it points at: LocalSize gives 0 and LocalLock NULL for it. That
// is what lets the host check what a plug-in returns against what it really
// allocated. The set is guarded by one mutex; every function is thread-safe.
//
// Blocks of KELVORA_LOCAL_FILE_FROM bytes or more live in a memory file
// (kelvora/local_file.h), header first, so that another process can map them.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

struct alignas(16) BlockHeader {
    std::size_t size; // what was asked for (or shrunk to)
    std::uint32_t flags;
    std::uint32_t locks;
    std::size_t capacity; // the data bytes mapped, for a block in a memory file
    std::int32_t file;    // the memory file, or -1
    std::int32_t reserved;
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

// A block in a memory file (always zero-filled), or null when none can be made.
HLOCAL newFileBlock(std::size_t bytes, std::uint32_t flags) {
    const int file = memfd_create("kelvora-local", MFD_CLOEXEC);
    if (file < 0)
        return nullptr;
    const std::size_t length = sizeof(BlockHeader) + bytes;
    void* raw = ftruncate(file, static_cast<off_t>(length)) == 0
                    ? mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0)
                    : MAP_FAILED;
    if (raw == MAP_FAILED) {
        close(file);
        return nullptr;
    }
    auto* header = new (raw) BlockHeader{bytes, flags & LMEM_MOVEABLE, 0, bytes, file, 0};
    return reinterpret_cast<char*>(header) + sizeof(BlockHeader);
}

HLOCAL newBlock(std::size_t bytes, std::uint32_t flags) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    if (bytes >= KELVORA_LOCAL_FILE_FROM)
        if (HLOCAL h = newFileBlock(bytes, flags))
            return h;
    void* raw = (flags & LMEM_ZEROINIT) ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                        : std::malloc(sizeof(BlockHeader) + bytes);
    if (!raw)
        return nullptr;
    auto* header = new (raw) BlockHeader{bytes, flags & LMEM_MOVEABLE, 0, 0, -1, 0};
    return reinterpret_cast<char*>(header) + sizeof(BlockHeader);
}

void freeBlock(BlockHeader* header) {
    if (header->file < 0) {
        std::free(header);
        return;
    }
    const int file = header->file;
    munmap(header, sizeof(BlockHeader) + header->capacity);
    close(file);
}

// Records a new block as live; frees it when that fails.
HLOCAL enlist(Registry& r, HLOCAL h) {
    try {
        r.live.insert(h);
    } catch (const std::bad_alloc&) {
        freeBlock(headerOf(h));
        return nullptr;
    }
    return h;
}

} // namespace

extern "C" {

HLOCAL LocalAlloc(uint32_t uFlags, size_t uBytes) {
    HLOCAL h = newBlock(uBytes, uFlags);
    if (!h)
        return nullptr;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return enlist(r, h);
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
    freeBlock(headerOf(hMem));
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
    if (!enlist(r, moved))
        return nullptr;
    r.live.erase(hMem);
    freeBlock(header);
    return moved;
}

int KelvoraLocalFile(HLOCAL hMem) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    BlockHeader* header = liveHeader(r, hMem);
    return header ? header->file : -1;
}

HLOCAL KelvoraLocalAdopt(int file) {
    struct stat st;
    if (file < 0 || fstat(file, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(BlockHeader))) {
        if (file >= 0)
            close(file);
        return nullptr;
    }
    const auto length = static_cast<std::size_t>(st.st_size);
    void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE, file, 0);
    if (raw == MAP_FAILED) {
        close(file);
        return nullptr;
    }
    // The header is the other process's: only its size is taken, within the file.
    const std::size_t capacity = length - sizeof(BlockHeader);
    std::size_t size;
    std::memcpy(&size, raw, sizeof size);
    auto* header = new (raw) BlockHeader{std::min(size, capacity), 0, 0, capacity, file, 0};
    HLOCAL h = reinterpret_cast<char*>(header) + sizeof(BlockHeader);
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return enlist(r, h);
}

} // extern "C"

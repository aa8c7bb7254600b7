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
// The files are made sealable; a block handed over is unmapped and sealed, so
// the receiver's mapping cannot lose its pages (SIGBUS) to a cut file.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    std::size_t capacity; // the data bytes mapped, for a mapped block
    std::int32_t file;    // the memory file, or -1
    std::int32_t mapped;  // header and data are a mapping (of `file`, or adopted)
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
    const int file = memfd_create("kelvora-local", MFD_CLOEXEC | MFD_ALLOW_SEALING);
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
    auto* header = new (raw) BlockHeader{bytes, flags & LMEM_MOVEABLE, 0, bytes, file, 1};
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
    if (!header->mapped) {
        std::free(header);
        return;
    }
    const int file = header->file;
    munmap(header, sizeof(BlockHeader) + header->capacity);
    if (file >= 0)
        close(file);
}

constexpr int kHandOverSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

bool hasSize(int file, std::size_t length) {
    struct stat st;
    return fstat(file, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
           static_cast<std::size_t>(st.st_size) == length;
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

int KelvoraLocalSeal(HLOCAL hMem) {
    Registry& r = registry();
    BlockHeader* header;
    std::size_t size;
    std::size_t capacity;
    int file;
    {
        // Out of the set before the header goes, so that no other thread reads it.
        std::lock_guard guard(r.lock);
        header = liveHeader(r, hMem);
        if (!header || header->file < 0) {
            errno = EINVAL;
            return -1;
        }
        r.live.erase(hMem);
        size = header->size;
        capacity = header->capacity;
        file = header->file;
    }
    // A shared writable mapping, this process's own included, makes F_SEAL_WRITE fail.
    munmap(header, sizeof(BlockHeader) + capacity);
    const std::size_t length = sizeof(BlockHeader) + size;
    bool sealed = (size == capacity || ftruncate(file, static_cast<off_t>(length)) == 0) &&
                  fcntl(file, F_ADD_SEALS, kHandOverSeals) == 0;
    if (sealed && !hasSize(file, length)) { // cut by someone else before the seals held
        sealed = false;
        errno = EBUSY;
    }
    if (!sealed) {
        const int error = errno;
        close(file);
        errno = error;
        return -1;
    }
    return file;
}

HLOCAL KelvoraLocalAdopt(int file, size_t size) {
    if (file < 0)
        return nullptr;
    // Without the seals another process could cut the file under the mapping, and any
    // access past its new end would raise SIGBUS here.
    const int seals = fcntl(file, F_GET_SEALS);
    if (seals < 0 || (seals & kHandOverSeals) != kHandOverSeals ||
        size > SIZE_MAX - sizeof(BlockHeader) || !hasSize(file, sizeof(BlockHeader) + size)) {
        close(file);
        return nullptr;
    }
    const std::size_t length = sizeof(BlockHeader) + size;
    void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE, file, 0);
    close(file); // the mapping keeps the file
    if (raw == MAP_FAILED)
        return nullptr;
    // The header is the other process's; the size was checked against the file.
    auto* header = new (raw) BlockHeader{size, 0, 0, size, -1, 1};
    HLOCAL h = reinterpret_cast<char*>(header) + sizeof(BlockHeader);
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    return enlist(r, h);
}

} // extern "C"

#include "shell/items/id_list.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace kelvora {

namespace {

std::atomic<long> liveBlocks{0};

std::uint16_t readCount(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void writeCount(std::uint8_t* p, std::size_t n) {
    p[0] = static_cast<std::uint8_t>(n & 0xFF);
    p[1] = static_cast<std::uint8_t>((n >> 8) & 0xFF);
}

std::uint8_t* bytes(PItemIDList id) {
    return reinterpret_cast<std::uint8_t*>(id);
}

// Byte length of the first `items` items (no terminator).
std::size_t prefixBytes(PCItemIDList id, int items) {
    const std::uint8_t* p = IDBytes(id);
    std::size_t n = 0;
    for (int i = 0; i < items; ++i) {
        const std::uint16_t cb = readCount(p + n);
        if (cb == 0)
            break;
        n += cb;
    }
    return n;
}

// A new list from raw item bytes (terminator added).
PItemIDList fromItemBytes(const std::uint8_t* p, std::size_t n) {
    PItemIDList id = TVelShID::IDAlloc(static_cast<int>(n + 2));
    if (id && n)
        std::memcpy(bytes(id), p, n);
    return id;
}

} // namespace

void* TShellAllocator::Alloc(std::size_t size) {
    void* p = std::calloc(size ? size : 1, 1);
    if (p)
        ++liveBlocks;
    return p;
}

void TShellAllocator::Free(void* block) {
    if (!block)
        return;
    std::free(block);
    --liveBlocks;
}

long TShellAllocator::LiveBlocks() {
    return liveBlocks.load();
}

PItemIDList TVelShID::IDAlloc(int size) {
    if (size < 0)
        return nullptr;
    return static_cast<PItemIDList>(TShellAllocator::Alloc(static_cast<std::size_t>(size)));
}

void TVelShID::IDFree(PItemIDList& id) {
    TShellAllocator::Free(id);
    id = nullptr;
}

int TVelShID::IDSize(PCItemIDList id) {
    if (!id)
        return 0;
    return static_cast<int>(prefixBytes(id, INT32_MAX) + 2);
}

int TVelShID::IDCount(PCItemIDList id) {
    if (!id)
        return -1;
    const std::uint8_t* p = IDBytes(id);
    int count = 0;
    for (std::uint16_t cb; (cb = readCount(p)) != 0; p += cb)
        ++count;
    return count;
}

PCItemIDList TVelShID::IDNext(PCItemIDList id) {
    if (!id)
        return nullptr;
    const std::uint8_t* p = IDBytes(id);
    const std::uint16_t cb = readCount(p);
    if (cb == 0 || readCount(p + cb) == 0)
        return nullptr;
    return IDFromBytes(p + cb);
}

PItemIDList TVelShID::IDNext(PItemIDList id) {
    return const_cast<PItemIDList>(IDNext(static_cast<PCItemIDList>(id)));
}

PCItemIDList TVelShID::IDLast(PCItemIDList id) {
    if (!id)
        return nullptr;
    const std::uint8_t* p = IDBytes(id);
    const std::uint8_t* last = p;
    for (std::uint16_t cb; (cb = readCount(p)) != 0; p += cb)
        last = p;
    return IDFromBytes(last);
}

PItemIDList TVelShID::IDLast(PItemIDList id) {
    return const_cast<PItemIDList>(IDLast(static_cast<PCItemIDList>(id)));
}

PItemIDList TVelShID::IDClone(PCItemIDList id) {
    if (!id)
        return nullptr;
    return fromItemBytes(IDBytes(id), static_cast<std::size_t>(IDSize(id) - 2));
}

PItemIDList TVelShID::IDCopyFirst(PCItemIDList id) {
    if (!id)
        return nullptr;
    return fromItemBytes(IDBytes(id), prefixBytes(id, 1));
}

PItemIDList TVelShID::IDCopyLast(PCItemIDList id) {
    if (!id)
        return nullptr;
    PCItemIDList last = IDLast(id);
    return fromItemBytes(IDBytes(last), prefixBytes(last, 1));
}

PItemIDList TVelShID::IDCopyParent(PCItemIDList id) {
    if (!id)
        return nullptr;
    const int count = IDCount(id);
    return fromItemBytes(IDBytes(id), prefixBytes(id, count > 0 ? count - 1 : 0));
}

PItemIDList TVelShID::IDConcat(PCItemIDList a, PCItemIDList b) {
    if (!a || !b)
        return nullptr;
    const std::size_t na = static_cast<std::size_t>(IDSize(a) - 2);
    const std::size_t nb = static_cast<std::size_t>(IDSize(b) - 2);
    PItemIDList id = IDAlloc(static_cast<int>(na + nb + 2));
    if (!id)
        return nullptr;
    if (na)
        std::memcpy(bytes(id), IDBytes(a), na);
    if (nb)
        std::memcpy(bytes(id) + na, IDBytes(b), nb);
    return id;
}

bool TVelShID::IDIsEqual(PCItemIDList a, PCItemIDList b) {
    if (!a || !b)
        return false;
    const int size = IDSize(a);
    return size == IDSize(b) && std::memcmp(a, b, static_cast<std::size_t>(size)) == 0;
}

bool TVelShID::IDIsAncestor(PCItemIDList a, PCItemIDList b) {
    if (!a || !b)
        return false;
    const int count = IDCount(a);
    if (count >= IDCount(b))
        return false;
    const std::size_t n = prefixBytes(a, count);
    return prefixBytes(b, count) == n && std::memcmp(a, b, n) == 0;
}

// --- Items of this namespace -------------------------------------------------

PItemIDList IDMakeItem(TShItemKind kind, std::string_view payload) {
    const std::size_t cb = 3 + payload.size();
    if (cb > 0xFFFF)
        return nullptr;
    PItemIDList id = TVelShID::IDAlloc(static_cast<int>(cb + 2));
    if (!id)
        return nullptr;
    std::uint8_t* p = bytes(id);
    writeCount(p, cb);
    p[2] = static_cast<std::uint8_t>(kind);
    if (!payload.empty())
        std::memcpy(p + 3, payload.data(), payload.size());
    return id;
}

PItemIDList IDMakeVirtual(TShVirtualFolder folder) {
    const char b = static_cast<char>(folder);
    return IDMakeItem(TShItemKind::Virtual, std::string_view(&b, 1));
}

PItemIDList IDMakeEmpty() {
    return TVelShID::IDAlloc(2);
}

std::uint8_t IDItemKind(PCItemIDList id) {
    if (!id)
        return 0;
    const std::uint8_t* p = IDBytes(id);
    return readCount(p) >= 3 ? p[2] : 0;
}

std::string_view IDItemPayload(PCItemIDList id) {
    if (!id)
        return {};
    const std::uint8_t* p = IDBytes(id);
    const std::uint16_t cb = readCount(p);
    if (cb < 3)
        return {};
    return {reinterpret_cast<const char*>(p + 3), static_cast<std::size_t>(cb - 3)};
}

std::string_view IDItemBytes(PCItemIDList id) {
    if (!id)
        return {};
    const std::uint8_t* p = IDBytes(id);
    const std::uint16_t cb = readCount(p);
    if (cb < 2)
        return {};
    return {reinterpret_cast<const char*>(p + 2), static_cast<std::size_t>(cb - 2)};
}

int IDValidSize(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t pos = 0;
    while (pos + 2 <= size) {
        const std::uint16_t cb = readCount(p + pos);
        if (cb == 0)
            return pos + 2 <= static_cast<std::size_t>(INT32_MAX) ? static_cast<int>(pos + 2) : 0;
        if (cb < 2)
            return 0;
        pos += cb;
    }
    return 0;
}

} // namespace kelvora

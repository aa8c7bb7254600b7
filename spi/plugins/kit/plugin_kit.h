#pragma once
// What the shipped import filters share: their information texts, the data of
// a call in either input form, the bitmap they hand over, and the progress
// callback. Plain C++ over kelvora/susie.h, without Qt.
//
// Memory follows the picture, not the file: a filter decodes straight into its
// bitmap's block, the file form is read piece by piece where the library can
// take it so (mapped whole only for libraries that need all of it at once), and
// the allocator gives back what a decode freed once the picture is done.
//
// Every filter refuses pictures above kMaxPixels, or with a side above
// kMaxSide, before it allocates them: the same pixel limit the program puts on
// every picture it decodes, and a side limit that keeps the libraries' row
// buffers small. Sizes a file declares are checked against what the file can
// hold before anything is allocated for them.
//
// Nothing here prints: only the program decides what the user sees. Each call
// is independent; a filter keeps no state between calls.
#include "kelvora/susie.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kelvora::spikit {

inline constexpr long long kMaxPixels = 1LL << 28;
inline constexpr long long kMaxSide = 1LL << 20;

// True when a picture of width x height is within both limits.
bool withinLimits(long long width, long long height);

struct PluginInfo {
    std::string about;
    std::vector<std::pair<const char*, const char*>> formats; // mask, format name
};
// GetPluginInfo over the texts: number 0 "00IN", 1 the about text, then the pairs.
std::int32_t pluginInfo(const PluginInfo& info, std::int32_t infono, char* buf,
                        std::int32_t buflen);

// The data of a call: in memory as it was given, or a regular file from the
// offset on, read as the filter asks (never a FIFO or a device, which could
// block the caller for ever).
class Input {
public:
    Input() = default;
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    // An SPI_ code: SPI_SUCCESS, or SPI_FILE_READ_ERROR for a file that cannot be read.
    int open(const char* buf, intptr_t len, std::uint32_t flag);
    // The bytes of data (for a file: its size less the offset).
    std::uint64_t size() const { return size_; }
    // Copies up to count bytes from position at of the data; the number copied
    // (fewer only at the end), or -1 when the file cannot be read.
    long long read(std::uint64_t at, void* out, std::size_t count) const;
    // All the data at once, for libraries that need it so: the memory as given, or
    // the file mapped (read when it cannot be mapped). Null when neither works.
    const unsigned char* whole() const;

private:
    int fd_ = -1;
    std::uint64_t offset_ = 0;
    std::uint64_t size_ = 0;
    const unsigned char* memory_ = nullptr;
    mutable const unsigned char* whole_ = nullptr;
    mutable void* mapped_ = nullptr;
    mutable std::size_t mappedSize_ = 0;
    mutable std::vector<unsigned char> owned_;
};

// Sequential reading of an Input through a small buffer, for libraries that
// pull their data a few bytes at a time.
class Reader {
public:
    explicit Reader(const Input& in);
    // Copies exactly count bytes; false when the data ends first or cannot be read.
    bool read(void* out, std::size_t count) { return readSome(out, count) == count; }
    // Copies up to count bytes; the number copied.
    std::size_t readSome(void* out, std::size_t count);
    // Bytes after the ones handed out so far.
    std::uint64_t remaining() const { return in_.size() - position_; }

private:
    const Input& in_;
    std::vector<unsigned char> buffer_;
    std::uint64_t position_ = 0; // of the next byte handed out
    std::uint64_t bufferAt_ = 0; // of the buffer's first byte
    std::size_t filled_ = 0;
};

// A device-independent bitmap with top-down rows, in local memory blocks that
// go to the host on success and are freed otherwise.
class Dib {
public:
    enum Kind { kIndexed8, kBgr24, kBgrx32, kBgra32 };
    ~Dib();
    // SPI_SUCCESS, SPI_BROKEN_DATA for a side under 1, SPI_NO_MEMORY for a picture
    // beyond the limits or memory that is not there. Rows start zeroed.
    int create(long long width, long long height, Kind kind, int colors = 0);
    unsigned char* row(long long y) { return bits_ + y * static_cast<std::ptrdiff_t>(stride_); }
    std::size_t stride() const { return stride_; }
    unsigned char* bits() { return bits_; }
    std::size_t bitsSize() const { return bitsSize_; }
    RGBQUAD* colors();
    // Hands both blocks to the host.
    void release(HLOCAL* info, HLOCAL* bits);

private:
    HLOCAL info_ = nullptr;
    HLOCAL bitsHandle_ = nullptr;
    unsigned char* bits_ = nullptr;
    std::size_t stride_ = 0;
    std::size_t bitsSize_ = 0;
    std::size_t tableAt_ = 0;
};

// The host's progress callback; report() is true when the host asks to stop.
class Progress {
public:
    Progress(SUSIE_PROGRESS callback, intptr_t data) : callback_(callback), data_(data) {}
    bool report(long long done, long long total);

private:
    SUSIE_PROGRESS callback_;
    intptr_t data_;
};

// Gives the pages wholly inside [begin, end) back to the system: for a library's
// copy of a picture whose rows are already in the bitmap and will not be read
// again before the library frees it. Pages the range only touches are kept, so
// the allocator's own bytes around the block are never lost.
void releaseReadRows(const void* begin, const void* end);

// Fills a PictureInfo with a picture's size and depth.
void fillPictureInfo(PictureInfo* info, long long width, long long height, int depth);

// True when the header starts with the bytes.
bool startsWith(const void* header, const char* magic, std::size_t size);

// What one import filter brings; the entry points around it are the same for all.
struct Filter {
    const PluginInfo& (*info)();
    bool (*isSupported)(const void* header); // the data's first 2 KiB
    // SPI_ codes; pictureInfo fills the record, decode the bitmap (the host's progress
    // callback already told 0 %).
    int (*pictureInfo)(const Input& in, PictureInfo* info);
    int (*decode)(const Input& in, Dib& dib, Progress& progress);
    // The picture's own small version (an embedded thumbnail) for GetPreview, or
    // null when the format has none; SPI_NOT_IMPLEMENTED when this file has none.
    int (*preview)(const Input& in, Dib& dib, Progress& progress) = nullptr;
};
std::int32_t getPictureInfo(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                            PictureInfo* info);
std::int32_t getPicture(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data);
std::int32_t getPreview(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data);

} // namespace kelvora::spikit

// The exported entry points of an import filter over a spikit::Filter.
#define KELVORA_IMPORT_FILTER(filter)                                                              \
    SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {                \
        return kelvora::spikit::pluginInfo((filter).info(), infono, buf, buflen);                  \
    }                                                                                              \
    SUSIE_EXPORT int32_t IsSupported(const char*, const void* header) {                            \
        return header && (filter).isSupported(header) ? 1 : 0;                                     \
    }                                                                                              \
    SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,              \
                                        PictureInfo* lpInfo) {                                     \
        return kelvora::spikit::getPictureInfo(filter, buf, len, flag, lpInfo);                    \
    }                                                                                              \
    SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo, \
                                    HLOCAL* pHBm, SUSIE_PROGRESS progressCallback,                 \
                                    intptr_t lData) {                                              \
        return kelvora::spikit::getPicture(filter, buf, len, flag, pHBInfo, pHBm,                  \
                                           progressCallback, lData);                               \
    }

// GetPreview as well, for a filter whose format carries small versions of its pictures.
#define KELVORA_IMPORT_FILTER_WITH_PREVIEW(filter)                                                 \
    KELVORA_IMPORT_FILTER(filter)                                                                  \
    SUSIE_EXPORT int32_t GetPreview(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo, \
                                    HLOCAL* pHBm, SUSIE_PROGRESS progressCallback,                 \
                                    intptr_t lData) {                                              \
        return kelvora::spikit::getPreview(filter, buf, len, flag, pHBInfo, pHBm,                  \
                                           progressCallback, lData);                               \
    }

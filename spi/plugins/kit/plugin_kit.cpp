#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::spikit {

std::int32_t pluginInfo(const PluginInfo& info, std::int32_t infono, char* buf,
                        std::int32_t buflen) {
    if (!buf || buflen <= 0 || infono < 0)
        return 0;
    const char* text = nullptr;
    if (infono == 0)
        text = "00IN";
    else if (infono == 1)
        text = info.about.c_str();
    else if (static_cast<std::size_t>(infono - 2) / 2 < info.formats.size())
        text = infono % 2 == 0 ? info.formats[static_cast<std::size_t>(infono - 2) / 2].first
                               : info.formats[static_cast<std::size_t>(infono - 2) / 2].second;
    if (!text)
        return 0;
    const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(buflen - 1));
    std::memcpy(buf, text, length);
    buf[length] = '\0';
    return static_cast<std::int32_t>(length);
}

int Input::open(const char* buf, intptr_t len, std::uint32_t flag) {
    if (!buf)
        return SPI_FILE_READ_ERROR;
    if ((flag & 7) == 1) {
        memory_ = reinterpret_cast<const unsigned char*>(buf);
        size_ = len > 0 ? static_cast<std::uint64_t>(len) : 0;
        return SPI_SUCCESS;
    }
    if (len < 0)
        return SPI_FILE_READ_ERROR;
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    fd_ = ::open(buf, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < len)
        return SPI_FILE_READ_ERROR;
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return SPI_FILE_READ_ERROR;
    offset_ = static_cast<std::uint64_t>(len);
    size_ = static_cast<std::uint64_t>(st.st_size) - offset_;
    return SPI_SUCCESS;
}

long long Input::read(std::uint64_t at, void* out, std::size_t count) const {
    if (at >= size_ || count == 0) // libraries ask for nothing with no buffer at all
        return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - at));
    if (memory_) {
        std::memcpy(out, memory_ + at, count);
        return static_cast<long long>(count);
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(out) + done, count - done,
                                  static_cast<off_t>(offset_ + at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0) // the file shrank since it was opened
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

const unsigned char* Input::whole() const {
    if (memory_ || whole_)
        return memory_ ? memory_ : whole_;
    static const unsigned char nothing = 0;
    if (fd_ < 0)
        return nullptr;
    if (size_ == 0)
        return whole_ = &nothing;
    const std::uint64_t length = offset_ + size_;
    if (length <= SIZE_MAX) {
        void* mapped =
            ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE, fd_, 0);
        if (mapped != MAP_FAILED) {
            mapped_ = mapped;
            mappedSize_ = static_cast<std::size_t>(length);
            return whole_ = static_cast<const unsigned char*>(mapped) + offset_;
        }
    }
    try {
        owned_.resize(static_cast<std::size_t>(size_));
    } catch (const std::exception&) {
        return nullptr;
    }
    if (read(0, owned_.data(), owned_.size()) != static_cast<long long>(owned_.size()))
        return nullptr;
    return whole_ = owned_.data();
}

Input::~Input() {
    if (mapped_)
        ::munmap(mapped_, mappedSize_);
    if (fd_ >= 0)
        ::close(fd_);
}

Reader::Reader(const Input& in) : in_(in), buffer_(64 * 1024) {}

std::size_t Reader::readSome(void* out, std::size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
        if (position_ >= bufferAt_ && position_ < bufferAt_ + filled_) {
            const auto from = static_cast<std::size_t>(position_ - bufferAt_);
            const std::size_t n = std::min(count - done, filled_ - from);
            std::memcpy(to + done, buffer_.data() + from, n);
            done += n;
            position_ += n;
            continue;
        }
        // Big pieces go straight to the library; small ones through the buffer.
        const bool direct = count - done >= buffer_.size();
        const long long n = direct ? in_.read(position_, to + done, count - done)
                                   : in_.read(position_, buffer_.data(), buffer_.size());
        if (n <= 0)
            break;
        if (direct) {
            done += static_cast<std::size_t>(n);
            position_ += static_cast<std::uint64_t>(n);
        } else {
            bufferAt_ = position_;
            filled_ = static_cast<std::size_t>(n);
        }
    }
    return done;
}

Dib::~Dib() {
    LocalFree(info_);
    LocalFree(bitsHandle_);
}

bool withinLimits(long long width, long long height) {
    return width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

int Dib::create(long long width, long long height, Kind kind, int colors) {
    if (width < 1 || height < 1)
        return SPI_BROKEN_DATA;
    if (!withinLimits(width, height))
        return SPI_NO_MEMORY;
    const int bitCount = kind == kIndexed8 ? 8 : kind == kBgr24 ? 24 : 32;
    const std::size_t masks = kind == kBgra32 ? 16 : 0;
    tableAt_ = sizeof(BITMAPINFOHEADER) + masks;
    info_ = LocalAlloc(LPTR, tableAt_ + 4 * static_cast<std::size_t>(colors));
    stride_ = static_cast<std::size_t>((bitCount * width + 31) / 32 * 4);
    bitsSize_ = stride_ * static_cast<std::size_t>(height);
    bitsHandle_ = LocalAlloc(LPTR, bitsSize_);
    if (!info_ || !bitsHandle_)
        return SPI_NO_MEMORY;
    bits_ = static_cast<unsigned char*>(bitsHandle_);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<int32_t>(width);
    header.biHeight = -static_cast<int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biCompression = kind == kBgra32 ? BI_ALPHABITFIELDS : BI_RGB;
    header.biSizeImage = static_cast<uint32_t>(bitsSize_ <= UINT32_MAX ? bitsSize_ : 0);
    header.biClrUsed = static_cast<uint32_t>(colors);
    auto* info = static_cast<unsigned char*>(info_);
    std::memcpy(info, &header, sizeof header);
    if (kind == kBgra32) {
        const std::uint32_t fields[4] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
        std::memcpy(info + sizeof header, fields, sizeof fields);
    }
    return SPI_SUCCESS;
}

RGBQUAD* Dib::colors() {
    return reinterpret_cast<RGBQUAD*>(static_cast<unsigned char*>(info_) + tableAt_);
}

void Dib::release(HLOCAL* info, HLOCAL* bits) {
    *info = info_;
    *bits = bitsHandle_;
    info_ = bitsHandle_ = nullptr;
    bits_ = nullptr;
}

bool Progress::report(long long done, long long total) {
    if (!callback_)
        return false;
    // Scaled to 32 bits for pictures whose byte counts do not fit.
    while (total > INT32_MAX) {
        total >>= 1;
        done >>= 1;
    }
    return callback_(static_cast<int32_t>(done), static_cast<int32_t>(total), data_) != 0;
}

void fillPictureInfo(PictureInfo* info, long long width, long long height, int depth) {
    if (!info)
        return;
    *info = PictureInfo{};
    info->width = static_cast<int32_t>(std::min<long long>(width, INT32_MAX));
    info->height = static_cast<int32_t>(std::min<long long>(height, INT32_MAX));
    info->colorDepth = static_cast<int16_t>(depth);
}

bool startsWith(const void* header, const char* magic, std::size_t size) {
    return header && std::memcmp(header, magic, size) == 0;
}

std::int32_t getPictureInfo(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                            PictureInfo* info) {
    if (!info)
        return SPI_INTERNAL_ERROR;
    Input in;
    if (const int error = in.open(buf, len, flag))
        return error;
    return filter.pictureInfo(in, info);
}

namespace {

using DecodeFunc = int (*)(const Input& in, Dib& dib, Progress& progress);

std::int32_t decodeInto(DecodeFunc decode, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data) {
    Input in;
    if (const int error = in.open(buf, len, flag))
        return error;
    Progress progress(callback, data);
    if (progress.report(0, 1))
        return SPI_ABORT;
    Dib dib;
    if (const int error = decode(in, dib, progress))
        return error;
    progress.report(1, 1);
    dib.release(info, bits);
    return SPI_SUCCESS;
}

} // namespace

void releaseReadRows(const void* begin, const void* end) {
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(end) / page * page;
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

std::int32_t getPicture(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data) {
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    const std::int32_t result =
        decodeInto(filter.decode, buf, len, flag, info, bits, callback, data);
    // The libraries' working memory is freed by now, but the allocator keeps much of
    // it for later; the picture is done, so the process gives it back.
    malloc_trim(0);
    return result;
}

std::int32_t getPreview(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data) {
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    if (!filter.preview)
        return SPI_NOT_IMPLEMENTED;
    const std::int32_t result =
        decodeInto(filter.preview, buf, len, flag, info, bits, callback, data);
    malloc_trim(0);
    return result;
}

} // namespace kelvora::spikit

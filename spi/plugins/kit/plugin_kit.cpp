#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
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
        data_ = reinterpret_cast<const unsigned char*>(buf);
        size_ = len > 0 ? static_cast<std::size_t>(len) : 0;
        return SPI_SUCCESS;
    }
    const int fd = ::open(buf, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return SPI_FILE_READ_ERROR;
    struct stat st;
    int result = SPI_FILE_READ_ERROR;
    if (::fstat(fd, &st) == 0 && len >= 0 && st.st_size > len) {
        void* mapped =
            ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            mapped_ = mapped;
            mappedSize_ = static_cast<std::size_t>(st.st_size);
            data_ = static_cast<const unsigned char*>(mapped) + len;
            size_ = mappedSize_ - static_cast<std::size_t>(len);
            ::close(fd);
            return SPI_SUCCESS;
        }
    }
    if (::fstat(fd, &st) == 0 && len >= 0 && st.st_size >= len) {
        try {
            owned_.resize(static_cast<std::size_t>(st.st_size - len));
            std::size_t done = 0;
            while (done < owned_.size()) {
                const ssize_t n = ::pread(fd, owned_.data() + done, owned_.size() - done,
                                          len + static_cast<off_t>(done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            owned_.resize(done);
            data_ = owned_.data();
            size_ = owned_.size();
            result = SPI_SUCCESS;
        } catch (const std::bad_alloc&) {
            result = SPI_NO_MEMORY;
        }
    }
    ::close(fd);
    return result;
}

Input::~Input() {
    if (mapped_)
        ::munmap(mapped_, mappedSize_);
}

Dib::~Dib() {
    LocalFree(info_);
    LocalFree(bitsHandle_);
}

int Dib::create(long long width, long long height, Kind kind, int colors) {
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX)
        return SPI_BROKEN_DATA;
    if (width * height > kMaxPixels)
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

std::int32_t getPicture(const Filter& filter, const char* buf, intptr_t len, std::uint32_t flag,
                        HLOCAL* info, HLOCAL* bits, SUSIE_PROGRESS callback, intptr_t data) {
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    Input in;
    if (const int error = in.open(buf, len, flag))
        return error;
    Progress progress(callback, data);
    if (progress.report(0, 1))
        return SPI_ABORT;
    Dib dib;
    if (const int error = filter.decode(in, dib, progress))
        return error;
    progress.report(1, 1);
    dib.release(info, bits);
    return SPI_SUCCESS;
}

} // namespace kelvora::spikit

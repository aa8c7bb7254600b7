// libFuzzer entry for one shipped import filter (linked in by fuzz/CMakeLists.txt):
// the bytes go through IsSupported, GetPictureInfo and GetPicture (and GetPreview
// where the filter has it) in the memory form, then GetPicture in the file form
// (a memory file), as the decoding helper hands them over; the two read the data
// differently. Whatever the bytes, the filter returns an error or a bitmap whose
// blocks bear out its header, the same in both forms; anything else (a crash, a
// sanitizer report, an inconsistent bitmap) is a finding.
#include "kelvora/susie.h"
#include "spi/dib_layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

SUSIE_EXTERN_C int32_t IsSupported(const char* filename, const void* header);
SUSIE_EXTERN_C int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                      PictureInfo* lpInfo);
SUSIE_EXTERN_C int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                  HLOCAL* pHBm, SUSIE_PROGRESS progressCallback, intptr_t lData);
// Only filters whose format carries previews (HEIF) have it.
SUSIE_EXTERN_C int32_t GetPreview(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                  HLOCAL* pHBm, SUSIE_PROGRESS progressCallback, intptr_t lData)
    __attribute__((weak));

namespace {
volatile unsigned rowsRead; // keeps the reads of the rows from being optimised away

int countProgress(int32_t, int32_t, intptr_t data) {
    ++*reinterpret_cast<long*>(data);
    return 0;
}

using DecodeEntry = int32_t (*)(const char*, intptr_t, uint32_t, HLOCAL*, HLOCAL*, SUSIE_PROGRESS,
                                intptr_t);

// GetPicture's (or GetPreview's) result, after checking a bitmap it returns; the
// blocks are freed.
int32_t decodeAndCheck(const char* buf, intptr_t len, uint32_t flag,
                       DecodeEntry entry = GetPicture) {
    HLOCAL hInfo = nullptr;
    HLOCAL hBits = nullptr;
    long reports = 0;
    const int32_t result =
        entry(buf, len, flag, &hInfo, &hBits, countProgress, reinterpret_cast<intptr_t>(&reports));
    if (result == SPI_SUCCESS) {
        const auto layout = kelvora::CheckDib(LocalLock(hInfo), LocalSize(hInfo), LocalSize(hBits));
        if (!layout)
            std::abort(); // the filter's own bitmap must be one the program accepts
        // Every byte of the rows is readable (the sanitizers see the whole block).
        const auto* rows = static_cast<const unsigned char*>(LocalLock(hBits));
        unsigned sum = 0;
        for (std::size_t i = 0; i < layout->imageSize; i += 64)
            sum += rows[i];
        rowsRead = sum;
    } else if (hInfo || hBits) {
        std::abort(); // a failure hands nothing over
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    return result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char header[2048 + 128] = {};
    std::memcpy(header, data, std::min(size, sizeof header));
    IsSupported("fuzz", header);

    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<intptr_t>(size);
    PictureInfo info{};
    if (GetPictureInfo(bytes, length, 1, &info) == SPI_SUCCESS)
        LocalFree(info.hInfo);

    const int32_t inMemory = decodeAndCheck(bytes, length, 1);
    if (GetPreview)
        decodeAndCheck(bytes, length, 1, GetPreview);

    const int file = memfd_create("fuzz", MFD_CLOEXEC);
    if (file >= 0 && write(file, data, size) == static_cast<ssize_t>(size)) {
        const std::string name = "/proc/self/fd/" + std::to_string(file);
        if ((decodeAndCheck(name.c_str(), 0, 0) == SPI_SUCCESS) != (inMemory == SPI_SUCCESS))
            std::abort(); // both forms hold the same bytes
    }
    if (file >= 0)
        close(file);
    return 0;
}

// libFuzzer entry for one shipped import filter (linked in by fuzz/CMakeLists.txt):
// the bytes go through IsSupported, GetPictureInfo and GetPicture in the memory
// form, as the decoding helper hands them over. Whatever the bytes, the filter
// returns an error or a bitmap whose blocks bear out its header; anything else
// (a crash, a sanitizer report, an inconsistent bitmap) is a finding.
#include "kelvora/susie.h"
#include "spi/dib_layout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

SUSIE_EXTERN_C int32_t IsSupported(const char* filename, const void* header);
SUSIE_EXTERN_C int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                      PictureInfo* lpInfo);
SUSIE_EXTERN_C int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                  HLOCAL* pHBm, SUSIE_PROGRESS progressCallback, intptr_t lData);

namespace {
int countProgress(int32_t, int32_t, intptr_t data) {
    ++*reinterpret_cast<long*>(data);
    return 0;
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

    HLOCAL hInfo = nullptr;
    HLOCAL hBits = nullptr;
    long reports = 0;
    if (GetPicture(bytes, length, 1, &hInfo, &hBits, countProgress,
                   reinterpret_cast<intptr_t>(&reports)) == SPI_SUCCESS) {
        const auto layout = kelvora::CheckDib(LocalLock(hInfo), LocalSize(hInfo), LocalSize(hBits));
        if (!layout)
            std::abort(); // the filter's own bitmap must be one the program accepts
        // Every byte of the rows is readable (the sanitizers see the whole block).
        const auto* rows = static_cast<const unsigned char*>(LocalLock(hBits));
        volatile unsigned sum = 0;
        for (std::size_t i = 0; i < layout->imageSize; i += 64)
            sum += rows[i];
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    return 0;
}

// A test import filter, built in variants by tests/spi/CMakeLists.txt:
//   TP_API, TP_ABOUT     texts of numbers 0 and 1 (TP_API unset: number 0 answers 0)
//   TP_MASK1, TP_NAME1   the first extension pair (and TP_MASK2, TP_NAME2)
//   TP_HALF_PAIR         number 2 answers, number 3 does not
//   TP_MULTI_MASK        the first mask is "*.pic;*.pi2"
//   TP_TAG               the tag of the test pictures it reads (a letter)
//   TP_PREVIEW           exports GetPreview, which returns the picture at half width
//   TP_NO_GETPICTURE     lacks GetPicture
//   TP_ARCHIVE           exports the archive entry points
//   TP_CRASH_INFO        crashes in GetPluginInfo
// What GetPicture returns is told by the picture (test_picture.h).
#include "kelvora/susie.h"
#include "tests/spi/test_picture.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

using kelvora::test::TestAction;
using kelvora::test::TestPicture;

#define TP_STRING(x) #x
#define TP_LETTER(x) TP_STRING(x)[0]
#ifdef TP_MULTI_MASK
#define TP_MASK1 "*.pic;*.pi2"
#endif

namespace {

int32_t text(const char* value, char* buf, int32_t buflen) {
    std::strncpy(buf, value, static_cast<std::size_t>(buflen));
    buf[buflen - 1] = '\0';
    return static_cast<int32_t>(std::strlen(buf));
}

bool readPicture(const char* buf, intptr_t len, uint32_t flag, TestPicture& p) {
    if ((flag & 7) == 1) {
        if (len < static_cast<intptr_t>(sizeof p))
            return false;
        std::memcpy(&p, buf, sizeof p);
    } else {
        std::ifstream in(buf, std::ios::binary);
        in.seekg(len);
        if (!in.read(reinterpret_cast<char*>(&p), sizeof p))
            return false;
    }
    return std::memcmp(p.magic, "KTP1", 4) == 0;
}

[[maybe_unused]] int32_t picture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                 HLOCAL* pHBm, SUSIE_PROGRESS progress, intptr_t lData,
                                 bool preview) {
    TestPicture p;
    if (!readPicture(buf, len, flag, p))
        return SPI_UNKNOWN_FORMAT;
    for (int32_t i = 1; i <= p.steps; ++i)
        if (progress && progress(i, p.total, lData))
            return SPI_ABORT;
    switch (p.action) {
    case TestAction::kCrash:
        *static_cast<volatile int*>(nullptr) = 1;
        break;
    case TestAction::kHang:
        for (;;)
            pause();
    case TestAction::kFail:
        return SPI_BROKEN_DATA;
    case TestAction::kNullHandles:
        *pHBInfo = *pHBm = nullptr;
        return SPI_SUCCESS;
    case TestAction::kUntilStopped:
        for (int32_t i = 0;; ++i)
            if (progress(i, 1000, lData))
                return SPI_ABORT;
    default:
        break;
    }
    const int32_t width = preview ? (p.width + 1) / 2 : p.width;
    const int32_t colors = p.bits <= 8 ? (p.colors ? p.colors : 1 << p.bits) : p.colors;
    const std::size_t stride = (p.bits * static_cast<std::size_t>(width) + 31) / 32 * 4;
    std::size_t infoSize = sizeof(BITMAPINFOHEADER) + 4 * static_cast<std::size_t>(colors);
    if (p.action == TestAction::kSmallInfo)
        infoSize -= 4;
    std::size_t bitsSize = stride * static_cast<std::size_t>(p.height);
    if (p.action == TestAction::kShortBits)
        bitsSize -= 1;

    auto* info = static_cast<unsigned char*>(LocalAlloc(LPTR, infoSize));
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = p.action == TestAction::kHugeHeader ? 100000 : width;
    h.biHeight = p.action == TestAction::kHugeHeader ? 100000 : p.topDown ? -p.height : p.height;
    h.biPlanes = 1;
    h.biBitCount = p.action == TestAction::kBadHeader ? 7 : p.bits;
    h.biClrUsed = p.colors;
    std::memcpy(info, &h, sizeof h);
    for (int32_t i = 0; i < colors && sizeof h + 4 * static_cast<std::size_t>(i) + 4 <= infoSize;
         ++i) {
        const unsigned char quad[4] = {static_cast<unsigned char>(i),
                                       static_cast<unsigned char>(255 - i),
                                       static_cast<unsigned char>(i * 16), 0};
        std::memcpy(info + sizeof h + 4 * i, quad, 4);
    }
    void* bits =
        p.action == TestAction::kForeignHandle ? std::malloc(bitsSize) : LocalAlloc(LPTR, bitsSize);
    auto* rows = static_cast<unsigned char*>(bits);
    // Stored row r shows picture row y: bottom-up unless top-down.
    for (int32_t r = 0; r < p.height; ++r) {
        const int32_t y = p.topDown ? r : p.height - 1 - r;
        for (int32_t x = 0; x < width; ++x) {
            const std::size_t at = static_cast<std::size_t>(r) * stride;
            if (at + stride > bitsSize)
                break;
            unsigned char* row = rows + at;
            const int index = (x + y) % (colors ? colors : 1);
            switch (p.bits) {
            case 1:
                row[x / 8] |= static_cast<unsigned char>((index & 1) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<unsigned char>((index & 15) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = static_cast<unsigned char>(index);
                break;
            default: {
                const int n = p.bits / 8;
                row[x * n] = static_cast<unsigned char>(x * 20);
                row[x * n + 1] = static_cast<unsigned char>(y * 20);
                row[x * n + 2] = static_cast<unsigned char>(p.tag);
                if (n == 4)
                    row[x * n + 3] = 255;
            }
            }
        }
    }
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_SUCCESS;
}

} // namespace

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
#ifdef TP_CRASH_INFO
    *static_cast<volatile int*>(nullptr) = infono;
#endif
    switch (infono) {
#ifdef TP_API
    case 0:
        return text(TP_API, buf, buflen);
#endif
#ifdef TP_ABOUT
    case 1:
        return text(TP_ABOUT, buf, buflen);
#endif
#ifdef TP_MASK1
    case 2:
        return text(TP_MASK1, buf, buflen);
#ifndef TP_HALF_PAIR
    case 3:
        return text(TP_NAME1, buf, buflen);
#endif
#endif
#ifdef TP_MASK2
    case 4:
        return text(TP_MASK2, buf, buflen);
    case 5:
        return text(TP_NAME2, buf, buflen);
#endif
    default:
        return 0;
    }
}

SUSIE_EXPORT int32_t IsSupported(const char*, const void* header) {
    const auto* p = static_cast<const TestPicture*>(header);
    return std::memcmp(p->magic, "KTP1", 4) == 0 && (p->tag == '*' || p->tag == TP_LETTER(TP_TAG));
}

SUSIE_EXPORT int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag,
                                    PictureInfo* info) {
    TestPicture p;
    if (!readPicture(buf, len, flag, p))
        return SPI_UNKNOWN_FORMAT;
    *info = PictureInfo{};
    info->width = p.width;
    info->height = p.height;
    info->colorDepth = p.bits;
    info->hInfo = LocalAlloc(LPTR, 16);
    std::memcpy(info->hInfo, "test picture", 13);
    return SPI_SUCCESS;
}

#ifndef TP_NO_GETPICTURE
SUSIE_EXPORT int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                HLOCAL* pHBm, SUSIE_PROGRESS progress, intptr_t lData) {
    return picture(buf, len, flag, pHBInfo, pHBm, progress, lData, false);
}
#endif

#ifdef TP_PREVIEW
SUSIE_EXPORT int32_t GetPreview(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                HLOCAL* pHBm, SUSIE_PROGRESS progress, intptr_t lData) {
    return picture(buf, len, flag, pHBInfo, pHBm, progress, lData, true);
}
#endif

#ifdef TP_ARCHIVE
SUSIE_EXPORT int32_t GetArchiveInfo() {
    return -1;
}
SUSIE_EXPORT int32_t GetFileInfo() {
    return -1;
}
SUSIE_EXPORT int32_t GetFile() {
    return -1;
}
#endif

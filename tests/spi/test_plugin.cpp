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
//   TP_HANG_INFO         never returns from GetPluginInfo
//   TP_OVERRUN_INFO      GetPluginInfo writes 400 bytes whatever the length; an
//                        empty text stands for 399 letters
// What GetPicture returns is told by the picture (test_picture.h).
//
// Each variant appends "<pid> loaded <tag>" to the file that the environment
// variable KELVORA_TEST_PLUGIN_MARKS names when it is loaded, and the processes
// the shrinking actions leave behind append "<pid> child", then "<pid> shrunk"
// or "<pid> refused": tests see which process ran what.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"
#include "tests/spi/test_picture.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using kelvora::test::TestAction;
using kelvora::test::TestPicture;

#define TP_STRING(x) #x
#define TP_LETTER(x) TP_STRING(x)[0]
#ifdef TP_MULTI_MASK
#define TP_MASK1 "*.pic;*.pi2"
#endif

namespace {

void mark(const char* what) {
    const char* file = std::getenv("KELVORA_TEST_PLUGIN_MARKS");
    if (!file)
        return;
    const std::string line = std::to_string(getpid()) + " " + what + "\n";
    const int out = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) {
        [[maybe_unused]] const ssize_t n = write(out, line.data(), line.size());
        close(out);
    }
}

__attribute__((constructor)) void markLoaded() {
    const char tag[] = {'l', 'o', 'a', 'd', 'e', 'd', ' ', TP_LETTER(TP_TAG), '\0'};
    mark(tag);
}

#ifdef TP_OVERRUN_INFO
int32_t text(const char* value, char* buf, int32_t) {
    char block[400];
    std::memset(block, 'X', sizeof block);
    block[sizeof block - 1] = '\0';
    if (*value)
        std::memcpy(block, value, std::strlen(value) + 1);
    std::memcpy(buf, block, sizeof block);
    return static_cast<int32_t>(std::strlen(block));
}
#else
int32_t text(const char* value, char* buf, int32_t buflen) {
    std::strncpy(buf, value, static_cast<std::size_t>(buflen));
    buf[buflen - 1] = '\0';
    return static_cast<int32_t>(std::strlen(buf));
}
#endif

// Leaves a process behind that tries to cut the memory file of the bits block
// once the program has it: out of the helper's process group and, by a second
// fork, an orphan. Once it has let go of its copy of the block's mapping (or
// not, with keepMapping) it lets the plug-in return; then it waits until the
// file is sealed, the helper is gone or a second has passed, tries, reports,
// and lingers for a minute.
void leaveShrinker(HLOCAL bits, std::size_t size, bool keepMapping) {
    const int file = KelvoraLocalFile(bits);
    const pid_t helper = getpid();
    int ready[2];
    if (file < 0 || pipe(ready) != 0)
        return;
    if (const pid_t child = fork(); child != 0) {
        close(ready[1]);
        waitpid(child, nullptr, 0);
        char byte; // end of file once the orphan is ready

        [[maybe_unused]] const ssize_t n = read(ready[0], &byte, 1);
        close(ready[0]);
        return;
    }
    setsid();
    if (fork() != 0)
        _exit(0);
    if (!keepMapping)
        munmap(static_cast<char*>(bits) - 32, 32 + size);
    mark("child");
    close(ready[0]);
    close(ready[1]);
    for (int i = 0; i < 1000 && !(fcntl(file, F_GET_SEALS) & F_SEAL_SHRINK) && kill(helper, 0) == 0;
         ++i)
        usleep(1000);
    mark(ftruncate(file, 0) == 0 ? "shrunk" : "refused");
    sleep(60);
    _exit(0);
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
    case TestAction::kSlowProgress:
        for (int32_t i = 0;; ++i) {
            if (progress(i, 1000, lData))
                return SPI_ABORT;
            usleep(100000);
        }
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
    std::memcpy(info, &h, std::min(sizeof h, infoSize));
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
    if (p.action == TestAction::kShrinkAfterHandOver ||
        p.action == TestAction::kShrinkKeepingMapping)
        leaveShrinker(bits, bitsSize, p.action == TestAction::kShrinkKeepingMapping);
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_SUCCESS;
}

} // namespace

SUSIE_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
#ifdef TP_CRASH_INFO
    *static_cast<volatile int*>(nullptr) = infono;
#endif
#ifdef TP_HANG_INFO
    for (;;)
        pause();
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
    HLOCAL text = LocalAlloc(LPTR, 16);
    std::memcpy(text, "test picture", 13);
    if (p.action == TestAction::kWideInfoRecord) {
        // Aligned fields (the handle at 24, not 22) and a reserved tail of 16 KiB.
        unsigned char record[16 * 1024];
        std::memset(record, 0xFF, sizeof record);
        const int32_t place[4] = {0, 0, p.width, p.height};
        const int16_t rest[4] = {0, 0, p.bits, 0};
        std::memcpy(record, place, sizeof place);
        std::memcpy(record + 16, rest, sizeof rest);
        std::memcpy(record + 24, &text, sizeof text);
        std::memcpy(static_cast<void*>(info), record, sizeof record);
        return SPI_SUCCESS;
    }
    *info = PictureInfo{};
    info->width = p.width;
    info->height = p.height;
    info->colorDepth = p.bits;
    info->hInfo = text;
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

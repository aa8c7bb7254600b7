#pragma once
// The picture format of the test plug-ins: a small header that tells the
// plug-in what to return, and how to misbehave, for this file. Shared by the
// plug-ins and the tests that write such files.
#include <cstdint>
#include <cstring>
#include <string>

namespace kelvora::test {

enum class TestAction : std::uint8_t {
    kGood = 0,
    kCrash = 1,         // writes through a null pointer
    kHang = 2,          // never returns
    kShortBits = 3,     // the bits block is one byte shorter than the rows
    kBadHeader = 4,     // 7 bits per pixel
    kNullHandles = 5,   // success without handles
    kFail = 6,          // SPI_BROKEN_DATA
    kForeignHandle = 7, // the bits "handle" is memory LocalAlloc never gave out
    kHugeHeader = 8,    // the header claims 100000 x 100000 pixels
    kUntilStopped = 9,  // reports progress until asked to stop, then SPI_ABORT
    kSmallInfo = 10,    // the information block ends inside the colour table
    // A process it leaves behind (out of the helper's process group, an orphan)
    // tries to cut the bits block's memory file once the program has it; see
    // test_plugin.cpp. With kShrinkKeepingMapping it also keeps the block mapped.
    kShrinkAfterHandOver = 11,
    kShrinkKeepingMapping = 12,
    kSlowProgress = 13,   // reports progress every 100 ms until asked to stop
    kWideInfoRecord = 14, // GetPictureInfo writes a 16 KiB record of another layout
};

#pragma pack(push, 1)
struct TestPicture {
    char magic[4] = {'K', 'T', 'P', '1'};
    char tag = '*'; // the plug-in tag that reads it; '*' any
    TestAction action = TestAction::kGood;
    std::uint8_t bits = 24; // 1, 4, 8, 24 or 32
    std::uint8_t topDown = 0;
    std::int32_t width = 4;
    std::int32_t height = 3;
    std::int32_t steps = 0;   // progress reports, done = 1 .. steps
    std::int32_t total = 0;   // the total given with them
    std::uint32_t colors = 0; // biClrUsed
};
#pragma pack(pop)

inline std::string testPictureBytes(const TestPicture& p, std::size_t macBinaryPrefix = 0) {
    std::string bytes(macBinaryPrefix, 'M');
    bytes.append(reinterpret_cast<const char*>(&p), sizeof p);
    return bytes;
}

} // namespace kelvora::test

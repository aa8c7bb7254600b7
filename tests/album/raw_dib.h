#pragma once
// The picture format of the raw-DIB test plug-in: a small header, then the
// bitmap information and the bits the plug-in returns exactly as they are, so
// that a test can hand the program any device-independent bitmap. The header
// also says what GetPictureInfo answers. Shared by the plug-in and the tests.
#include <cstdint>
#include <string>

namespace kelvora::test {

#pragma pack(push, 1)
struct RawDibHeader {
    char magic[4] = {'R', 'D', 'B', '1'};
    std::int32_t infoResult = 0; // GetPictureInfo's result
    std::int32_t width = 0;      // what GetPictureInfo says
    std::int32_t height = 0;
    std::int16_t colorDepth = 0;
    std::uint32_t infoSize = 0; // bytes of bitmap information after this header
    std::uint32_t madeBits = 0; // non-zero: no bits follow; the plug-in makes a block this large
};
#pragma pack(pop)

inline std::string rawDibBytes(const RawDibHeader& header, const std::string& info,
                               const std::string& bits) {
    RawDibHeader h = header;
    h.infoSize = static_cast<std::uint32_t>(info.size());
    std::string bytes(reinterpret_cast<const char*>(&h), sizeof h);
    return bytes + info + bits;
}

} // namespace kelvora::test

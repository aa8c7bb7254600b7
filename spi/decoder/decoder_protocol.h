#pragma once
// The messages between the program and kelvora-spi-decode, the helper process
// in which plug-ins run their calls on picture data. One stream socket carries
// frames: a 4-byte type, an 8-byte payload length, the payload; integers in
// the machine's byte order (both ends are the same build). Plain C++ without
// Qt, so that the helper stays small and quick to start.
//
// Program to helper:
//   kInput   form (u8: 0 file, 1 memory), file name (bytes), data (bytes,
//            memory form only), header (kHeaderSize bytes)
//   kCall    op (u8), offset (i32), plug-in file name (bytes)
//   kList    plug-in file name (bytes)
//   kProgressReply  answer of the progress callback (i32)
// Helper to program:
//   kProgress  done (i32), total (i32); the helper waits for kProgressReply
//   kResult    status (u8), result (i32), then by op when the status is kCalled:
//              IsSupported: nothing
//              GetPictureInfo: left, top, width, height (i32), densities (u16 x2),
//                              depth (i16), text (bytes)
//              GetPicture/GetPreview: info block (block), bits block (block)
//   kListing   status (u8), entry points (u16, bit i for kEntryNames[i]), the
//              library's absolute file name (bytes), count (u32), then for
//              GetPluginInfo 0, 1, 2, ... as far as they were asked: result
//              (i32), text (bytes, at most kInfoTextSize)
// "bytes" is a u64 length and the bytes. A "block" is a u64 length and a u8
// form: 0, the bytes follow; 1, one byte follows that carries (SCM_RIGHTS) a
// memory file holding a 32-byte header and the bytes, the form of
// kelvora/local_file.h, sealed against shrinking, growing and writing. Big
// blocks go as memory files, so that a picture crosses in one step rather
// than in socket-buffer pieces (each of which would wait for the other
// process to be scheduled), and without a copy when the plug-in's block
// already lives in one.
#include <cstddef>
#include <cstdint>

namespace kelvora::spidecoder {

enum class Message : std::uint32_t {
    kInput = 1,
    kCall = 2,
    kList = 3,
    kProgressReply = 4,
    kProgress = 101,
    kResult = 102,
    kListing = 103,
};

enum class Op : std::uint8_t {
    kIsSupported = 0,
    kGetPictureInfo = 1,
    kGetPicture = 2,
    kGetPreview = 3
};

enum class Status : std::uint8_t {
    kCalled = 0,       // the entry point ran; its result follows
    kLoadFailed = 1,   // the library does not load
    kMissingEntry = 2, // the library lacks the entry point
    kRefused = 3,      // what the plug-in returned cannot be handed over safely
};

// The entry points a listing reports, in the order a library is searched for them.
inline constexpr const char* kEntryNames[] = {
    "GetPluginInfo", "ConfigurationDlg", "IsSupported", "GetPictureInfo", "GetPicture",
    "GetPreview",    "GetArchiveInfo",   "GetFileInfo", "GetFile",
};

// The data's first bytes that IsSupported sees: 2 KiB from offset 0 or 128.
inline constexpr std::size_t kHeaderSize = 2048 + 128;

// What the helper sends back at most, whatever a plug-in claims to have allocated.
inline constexpr std::uint64_t kMaxInfoBytes = 64 * 1024;
inline constexpr std::uint64_t kMaxTextBytes = 64 * 1024;
inline constexpr std::uint64_t kMaxBitsBytes = (std::uint64_t{1} << 30) + (std::uint64_t{1} << 20);

// Blocks from this size on go as memory files.
inline constexpr std::uint64_t kMemoryFileFrom = 256 * 1024;

enum class BlockForm : std::uint8_t { kInline = 0, kMemoryFile = 1 };

// The socket is this descriptor in the helper.
inline constexpr int kChannelFd = 3;

// Cap on GetPluginInfo numbers asked while listing, and the length each is
// given: the text is what stands before the first NUL within it.
inline constexpr int kMaxInfoNumber = 1024;
inline constexpr int kInfoTextSize = 255;

} // namespace kelvora::spidecoder

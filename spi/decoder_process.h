#pragma once
// The program's side of kelvora-spi-decode (spi/decoder/decoder_main.cpp).
//
// Plug-ins are foreign code reading hostile files, so their calls on picture
// data never run in the program: one helper process per picture load runs
// them, started on the first call and reused for the next candidates and
// offsets. The helper limits its own address space and CPU time; the program
// waits at most `timeout` for each message from it (every progress report
// starts the wait anew), and all the calls of one object together at most
// `total`, so that a plug-in reporting progress for ever is given up too.
// A helper that crashes, is given up or breaks the protocol makes the call
// raise ESPIPluginFailed; the next call starts a new helper, unless `total`
// has passed, in which case it fails at once. Nothing the helper sends is
// trusted: sizes are capped, and the blocks it returns become local memory
// blocks of exactly the size received (big ones are its sealed memory files,
// mapped), which the caller then checks and owns.
//
// Threading: an object belongs to the thread that loads the picture; objects
// on different threads are independent, so pictures decode on several threads
// at once. The helper's file name is process-wide and set before any load.
#include "kelvora/susie.h"
#include "spi/local_block.h"
#include "spi/spi_errors.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kelvora {

class TSPIDecoderChannel;

class TSPIDecoderProcess {
public:
    // The data in one of the two input forms, and its first bytes for IsSupported
    // (kHeaderSize of decoder_protocol.h, zero-filled). Memory data is copied to the
    // helper once per helper.
    struct Input {
        std::string fileName;
        bool memory = false;
        std::string_view data;
        std::string_view header;
    };
    // done, total -> non-zero asks the plug-in to stop
    using Progress = std::function<int(std::int32_t done, std::int32_t total)>;

    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};
    static constexpr std::chrono::milliseconds kDefaultTotalTimeout{120000};

    TSPIDecoderProcess(Input input, std::chrono::milliseconds timeout,
                       std::chrono::milliseconds total = kDefaultTotalTimeout);
    ~TSPIDecoderProcess();
    TSPIDecoderProcess(const TSPIDecoderProcess&) = delete;
    TSPIDecoderProcess& operator=(const TSPIDecoderProcess&) = delete;

    // Each returns the entry point's result. ESPIInvalidAPI-style absence is
    // reported through `missing` where the caller must tell it apart.
    std::int32_t IsSupported(const std::string& plugin, int offset);
    // hInfo of the record is a new local block (or null) owned by the caller.
    std::int32_t GetPictureInfo(const std::string& plugin, int offset, PictureInfo& info);
    // On return the blocks hold what the plug-in returned (or nothing), whatever the
    // result; on an error they hold nothing. `missing` is set when the plug-in lacks
    // the entry point.
    std::int32_t GetPicture(const std::string& plugin, int offset, bool preview, LocalBlock& info,
                            LocalBlock& bits, const Progress& progress, bool& missing);

    // The helper executable: set by the program at start (tests point it into the
    // build tree); by default kelvora-spi-decode beside the executable, or in
    // ../lib/kelvora when installed.
    static void SetHelperPath(std::string path);
    static std::string HelperPath();

private:
    TSPIDecoderChannel& channel();
    [[noreturn]] void fail(const std::string& plugin, const char* what);

    Input input_;
    std::chrono::milliseconds timeout_;
    std::chrono::steady_clock::time_point deadline_;
    std::unique_ptr<TSPIDecoderChannel> channel_;
};

} // namespace kelvora

#pragma once
// The program's side of kelvora-spi-decode (spi/decoder/decoder_main.cpp).
//
// Plug-ins are foreign code reading hostile files, so their calls on picture
// data never run in the program: one helper process per picture load runs
// them, started on the first call and reused for the next candidates and
// offsets. The helper limits its own address space and CPU time; the program
// waits at most `timeout` for each message from it (every progress report
// starts the wait anew) and kills it when that passes. A helper that crashes,
// is killed or breaks the protocol makes the call raise ESPIPluginFailed; the
// next call starts a new helper. Nothing the helper sends is trusted: sizes
// are capped, and the blocks it returns are copied into local memory blocks
// of exactly the size received, which the caller then checks and owns.
//
// Threading: an object belongs to the thread that loads the picture; objects
// on different threads are independent, so pictures decode on several threads
// at once. The helper's file name is process-wide and set before any load.
#include "kelvora/susie.h"
#include "spi/spi_errors.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kelvora {

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

    TSPIDecoderProcess(Input input, std::chrono::milliseconds timeout);
    ~TSPIDecoderProcess();
    TSPIDecoderProcess(const TSPIDecoderProcess&) = delete;
    TSPIDecoderProcess& operator=(const TSPIDecoderProcess&) = delete;

    // Each returns the entry point's result. ESPIInvalidAPI-style absence is
    // reported through `missing` where the caller must tell it apart.
    std::int32_t IsSupported(const std::string& plugin, int offset);
    // hInfo of the record is a new local block (or null) owned by the caller.
    std::int32_t GetPictureInfo(const std::string& plugin, int offset, PictureInfo& info);
    // On return the handles are new local blocks (or null) owned by the caller,
    // whatever the result. `missing` is set when the plug-in lacks the entry point.
    std::int32_t GetPicture(const std::string& plugin, int offset, bool preview, HLOCAL& info,
                            HLOCAL& bits, const Progress& progress, bool& missing);

    // The helper executable: set by the program at start (tests point it into the
    // build tree); by default kelvora-spi-decode beside the executable, or in
    // ../lib/kelvora when installed.
    static void SetHelperPath(std::string path);
    static std::string HelperPath();

    // Loads the library in a helper and asks it every information number; false
    // when that fails, crashes or hangs. Used before the program loads a plug-in.
    static bool Probe(const std::string& plugin, std::chrono::milliseconds timeout);

private:
    class Channel;
    Channel& channel();
    [[noreturn]] void fail(const std::string& plugin, const char* what);

    Input input_;
    std::chrono::milliseconds timeout_;
    Channel* channel_ = nullptr;
};

} // namespace kelvora

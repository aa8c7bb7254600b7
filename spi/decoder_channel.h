#pragma once
// One running kelvora-spi-decode and the socket to it, for the program's side
// of decoder_protocol.h (decoder_process.h decodes through it, plugin_lister.h
// lists plug-ins through it).
//
// The helper runs in a process group of its own. Ending a channel closes the
// socket and asks the helper with SIGTERM to end (it then takes every process
// its plug-ins forked); when it has not ended within a short grace, the whole
// group is killed. Either way the helper is reaped before the destructor returns.
//
// Every wait for a message ends at the earlier of `timeout` after the wait
// began and `deadline`; then, and whenever the helper closes the socket or
// sends what the protocol does not allow, the call raises DecoderChannelError.
// Nothing received is trusted: sizes are capped by the caller, memory files
// are taken only when sealed and of the size announced.
//
// Threading: a channel belongs to one thread at a time.
#include "base/unique_fd.h"
#include "kelvora/susie.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/local_block.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace kelvora {

// What went wrong with the helper: "timeout", or what it broke ("closed", "size", ...).
struct DecoderChannelError {
    const char* what;
};

class TSPIDecoderChannel {
public:
    using Clock = std::chrono::steady_clock;

    TSPIDecoderChannel(std::chrono::milliseconds timeout, Clock::time_point deadline);
    ~TSPIDecoderChannel();
    TSPIDecoderChannel(const TSPIDecoderChannel&) = delete;
    TSPIDecoderChannel& operator=(const TSPIDecoderChannel&) = delete;

    void send(spidecoder::Message type, const std::string& payload);
    // The next frame's type; its payload is then read field by field.
    spidecoder::Message next();
    template <class T> T get() {
        T value;
        read(&value, sizeof value);
        return value;
    }
    // Bytes of at most `limit`.
    std::string getString(std::uint64_t limit);
    // Bytes of at most `limit` bytes into a new local block (null when empty).
    LocalBlock getBytes(std::uint64_t limit);
    // A block (inline or in a sealed memory file) into a new local block (null when empty).
    LocalBlock getBlock(std::uint64_t limit);
    // The frame must be read to its end.
    void end();

private:
    int receiveFile();
    void waitReadable();
    void read(void* data, std::size_t size, bool counted = true);

    std::chrono::milliseconds timeout_;
    Clock::time_point deadline_;
    Clock::time_point messageDeadline_;
    UniqueFd fd_; // closed also when the constructor gives up
    pid_t pid_ = -1;
    std::uint64_t remaining_ = 0;
};

} // namespace kelvora

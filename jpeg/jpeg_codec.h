#pragma once
// RAII over libjpeg's compress and decompress objects, with this program's error
// handling, in-memory source and destination, memory cap and progress hook.
//
// libjpeg is C built without unwind information, so no C++ exception may cross
// it. Its fatal errors (and exceptions from our own hooks) come back by longjmp
// to a frame of ours, and only there become C++ exceptions: EJPEG
// "JPEG エラー #%d" with libjpeg's message code, or the hook's own exception.

#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include <jpeglib.h>

namespace kelvora::jpegcodec {

class Codec {
public:
    Codec(const Codec&) = delete;
    Codec& operator=(const Codec&) = delete;

    // Percent done, reported at most every 500 ms and only when it changed. It may
    // throw: the codec call then stops and that exception comes out of it.
    std::function<void(int percent)> onProgress;
    // True when the codec stopped because onProgress threw.
    bool aborted() const { return aborted_; }

protected:
    Codec() = default;
    ~Codec() = default;

    // Before jpeg_create_*: libjpeg keeps err and client_data when it creates the object.
    void prepare(jpeg_common_struct& common);
    // After creation: memory cap (no backing store) and progress hook.
    void attach(jpeg_common_struct& common);

    // Runs one libjpeg call. A codec error leaves fn by longjmp, so fn must not
    // own objects with destructors; the error is raised here instead.
    template <class Fn> void guarded(Fn fn) {
        if (!callGuarded(jump_, &invoke<Fn>, &fn))
            throwFailure();
    }

    int scanLimit_ = 0; // decompression: most scans a file may have; 0 for none

    // For libjpeg callbacks: remember `error`, then leave the codec call from a frame
    // that owns no objects; the guarded call raises the error.
    static void setPending(j_common_ptr cinfo, std::exception_ptr error) noexcept;
    [[noreturn]] static void leaveCodec(j_common_ptr cinfo);

private:
    template <class Fn> static void invoke(void* fn) { (*static_cast<Fn*>(fn))(); }
    static bool callGuarded(std::jmp_buf& jump, void (*fn)(void*), void* arg);
    [[noreturn]] void throwFailure();
    bool monitor(j_common_ptr cinfo) noexcept;

    static void errorExit(j_common_ptr cinfo);
    static void emitMessage(j_common_ptr, int) {}
    static void outputMessage(j_common_ptr) {}
    static void formatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
    static void progressMonitor(j_common_ptr cinfo);

    jpeg_error_mgr err_{};
    void (*libraryFormat_)(j_common_ptr, char*) = nullptr; // libjpeg's own message text
    j_common_ptr common_ = nullptr;
    jpeg_progress_mgr progress_{};
    std::jmp_buf jump_{};
    std::exception_ptr pending_; // raised instead of EJPEG after the longjmp
    bool aborted_ = false;
    bool clockStarted_ = false;
    std::chrono::steady_clock::time_point lastTick_;
    int lastPercent_ = 0;
};

// Decodes from bytes in memory or from an open file, handed to libjpeg in blocks.
// Data that ends early is finished with a fake end-of-image marker (a dropped
// warning), so a cut file decodes; no bytes at all is a codec error.
class Decompressor : public Codec {
public:
    // data must outlive the decompressor.
    explicit Decompressor(std::string_view data, int scanLimit = 0);
    // Reads the file from its current position; fd must stay open as long.
    explicit Decompressor(int fd, int scanLimit = 0);
    ~Decompressor();

    jpeg_decompress_struct& info() { return info_; }

    // Also keeps the APP1 segments, where the Exif orientation is.
    void readHeader();
    bool hasMultipleScans();
    void calcOutputDimensions();
    void start();
    JDIMENSION readScanlines(JSAMPARRAY rows, JDIMENSION count);
    void finish();
    // Buffered-image mode (one output pass per scan).
    bool inputComplete();
    void startOutput(int scan);
    void finishOutput();

private:
    struct Source {
        jpeg_source_mgr pub; // first: libjpeg sees only this part
        const JOCTET* data;  // memory: the bytes; file: the read buffer
        std::size_t size;    // memory: all bytes
        std::size_t pos;     // memory: bytes handed over so far
        int fd = -1;         // the file, or -1 for memory
        bool fileHadData = false;
    };
    void init(int scanLimit);
    static void initSource(j_decompress_ptr) {}
    static boolean fillInputBuffer(j_decompress_ptr cinfo);
    static void skipInputData(j_decompress_ptr cinfo, long count);
    static void termSource(j_decompress_ptr) {}
    static void endOfData(j_decompress_ptr cinfo, bool empty);

    jpeg_decompress_struct info_{};
    Source source_{};
    std::string buffer_; // file source only
};

// Encodes into a growing string, or hands the bytes to a sink in blocks (a file
// being written). A sink that throws stops the encoding with its exception.
class Compressor : public Codec {
public:
    using Sink = std::function<void(const char* bytes, std::size_t size)>;
    Compressor();
    explicit Compressor(Sink sink);
    ~Compressor();

    jpeg_compress_struct& info() { return info_; }

    void setDefaults();
    void setQuality(int quality, bool forceBaseline);
    void setColorspace(J_COLOR_SPACE space);
    void simpleProgression();
    void start();
    void writeScanlines(JSAMPARRAY rows, JDIMENSION count);
    void finish();
    // The encoded bytes, after finish().
    std::string takeOutput() { return std::move(output_); }

private:
    struct Destination {
        jpeg_destination_mgr pub; // first: libjpeg sees only this part
        std::string* out;
        const Sink* sink; // null: everything stays in out
    };
    static void initDestination(j_compress_ptr cinfo);
    static boolean emptyOutputBuffer(j_compress_ptr cinfo);
    static void termDestination(j_compress_ptr cinfo);
    // False (with the sink's exception pending) when the sink failed.
    static bool drain(j_compress_ptr cinfo, std::size_t used) noexcept;

    jpeg_compress_struct info_{};
    Destination dest_{};
    std::string output_;
    Sink sink_;
};

} // namespace kelvora::jpegcodec

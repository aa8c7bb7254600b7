#include "jpeg/jpeg_codec.h"

#include "base/errors.h"
#include "jpeg/jpeg_image.h"
#include "jpeg/jpeg_texts.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <utility>

#include <jerror.h>

namespace kelvora::jpegcodec {
namespace {
constexpr std::size_t kInputBlock = 4096;
constexpr std::size_t kFileBlock = 64 * 1024;
constexpr std::size_t kFirstOutputBlock = 64 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(500);
const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

Codec& codecOf(j_common_ptr cinfo) {
    return *static_cast<Codec*>(cinfo->client_data);
}

// Doubles the buffer; false when memory runs out (the caller raises a codec error).
bool grow(std::string& out) noexcept {
    try {
        out.resize(std::max(out.size() * 2, kFirstOutputBlock));
        return true;
    } catch (...) {
        return false;
    }
}
} // namespace

// --- Codec -------------------------------------------------------------------

void Codec::prepare(jpeg_common_struct& common) {
    jpeg_std_error(&err_);
    libraryFormat_ = err_.format_message;
    common_ = &common;
    err_.error_exit = &errorExit;
    err_.emit_message = &emitMessage; // warnings and traces are dropped
    err_.output_message = &outputMessage;
    err_.format_message = &formatMessage;
    common.err = &err_;
    common.client_data = static_cast<Codec*>(this);
}

void Codec::attach(jpeg_common_struct& common) {
    // libjpeg's memory manager has no backing store here: a need beyond the cap is a codec error.
    common.mem->max_memory_to_use = kJpegMaxMemory;
    progress_.progress_monitor = &progressMonitor;
    common.progress = &progress_;
}

bool Codec::callGuarded(std::jmp_buf& jump, void (*fn)(void*), void* arg) {
    if (setjmp(jump) != 0)
        return false;
    fn(arg);
    return true;
}

void Codec::throwFailure() {
    if (pending_) {
        std::exception_ptr pending = std::exchange(pending_, nullptr);
        std::rethrow_exception(pending);
    }
    char text[JMSG_LENGTH_MAX] = {};
    if (libraryFormat_ && common_)
        libraryFormat_(common_, text);
    throw EJPEG(JpegTexts::Text(JpegTexts::SJpegError).arg(err_.msg_code), text);
}

void Codec::setPending(j_common_ptr cinfo, std::exception_ptr error) noexcept {
    codecOf(cinfo).pending_ = std::move(error);
}

void Codec::leaveCodec(j_common_ptr cinfo) {
    std::longjmp(codecOf(cinfo).jump_, 1);
}

void Codec::errorExit(j_common_ptr cinfo) {
    std::longjmp(codecOf(cinfo).jump_, 1);
}

void Codec::progressMonitor(j_common_ptr cinfo) {
    Codec& self = codecOf(cinfo);
    if (!self.monitor(cinfo))
        std::longjmp(self.jump_, 1);
}

// False (with pending_ set) when the codec must stop.
bool Codec::monitor(j_common_ptr cinfo) noexcept {
    try {
        if (scanLimit_ > 0 && cinfo->is_decompressor &&
            reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > scanLimit_)
            throw EJPEG(JpegTexts::Text(JpegTexts::STooManyScans).arg(scanLimit_));

        const auto now = std::chrono::steady_clock::now();
        if (!clockStarted_) {
            clockStarted_ = true;
            lastTick_ = now;
            return true;
        }
        if (now - lastTick_ < kProgressInterval)
            return true;
        lastTick_ = now;

        const jpeg_progress_mgr& p = progress_;
        if (p.total_passes <= 0)
            return true;
        double done = p.completed_passes;
        if (p.pass_limit > 0)
            done += static_cast<double>(p.pass_counter) / static_cast<double>(p.pass_limit);
        const int percent = std::clamp(static_cast<int>(done * 100.0 / p.total_passes), 0, 100);
        if (percent == lastPercent_)
            return true;
        lastPercent_ = percent;
        if (onProgress) {
            try {
                onProgress(percent);
            } catch (...) {
                aborted_ = true;
                throw;
            }
        }
        return true;
    } catch (...) {
        pending_ = std::current_exception();
        return false;
    }
}

// --- Decompressor ------------------------------------------------------------

Decompressor::Decompressor(std::string_view data, int scanLimit) {
    init(scanLimit);
    source_.data = reinterpret_cast<const JOCTET*>(data.data());
    source_.size = data.size();
}

Decompressor::Decompressor(int fd, int scanLimit) : buffer_(kFileBlock, '\0') {
    init(scanLimit);
    source_.fd = fd;
    source_.data = reinterpret_cast<const JOCTET*>(buffer_.data());
    source_.size = buffer_.size();
}

void Decompressor::init(int scanLimit) {
    scanLimit_ = scanLimit;
    prepare(*reinterpret_cast<j_common_ptr>(&info_));
    guarded([this] { jpeg_create_decompress(&info_); });
    attach(*reinterpret_cast<j_common_ptr>(&info_));

    source_.pub.init_source = &initSource;
    source_.pub.fill_input_buffer = &fillInputBuffer;
    source_.pub.skip_input_data = &skipInputData;
    source_.pub.resync_to_restart = &jpeg_resync_to_restart;
    source_.pub.term_source = &termSource;
    info_.src = &source_.pub;
}

Decompressor::~Decompressor() {
    jpeg_destroy_decompress(&info_);
}

void Decompressor::readHeader() {
    guarded([this] {
        jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&info_, TRUE);
    });
}
bool Decompressor::hasMultipleScans() {
    boolean multiple = FALSE;
    guarded([&] { multiple = jpeg_has_multiple_scans(&info_); });
    return multiple != FALSE;
}
void Decompressor::calcOutputDimensions() {
    guarded([this] { jpeg_calc_output_dimensions(&info_); });
}
void Decompressor::start() {
    guarded([this] { jpeg_start_decompress(&info_); });
}
JDIMENSION Decompressor::readScanlines(JSAMPARRAY rows, JDIMENSION count) {
    JDIMENSION read = 0;
    guarded([&] { read = jpeg_read_scanlines(&info_, rows, count); });
    return read;
}
void Decompressor::finish() {
    guarded([this] { jpeg_finish_decompress(&info_); });
}
bool Decompressor::inputComplete() {
    boolean complete = FALSE;
    guarded([&] { complete = jpeg_input_complete(&info_); });
    return complete != FALSE;
}
void Decompressor::startOutput(int scan) {
    guarded([&] { jpeg_start_output(&info_, scan); });
}
void Decompressor::finishOutput() {
    guarded([this] { jpeg_finish_output(&info_); });
}

void Decompressor::endOfData(j_decompress_ptr cinfo, bool empty) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (empty)
        ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // Cut short: end the picture here rather than fail.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kFakeEoi;
    src->pub.bytes_in_buffer = sizeof kFakeEoi;
}

boolean Decompressor::fillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (src->fd >= 0) {
        ssize_t n;
        do
            n = ::read(src->fd, const_cast<JOCTET*>(src->data), src->size);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            ERREXIT(cinfo, JERR_FILE_READ);
        if (n == 0) {
            endOfData(cinfo, !src->fileHadData);
            return TRUE;
        }
        src->fileHadData = true;
        src->pub.next_input_byte = src->data;
        src->pub.bytes_in_buffer = static_cast<std::size_t>(n);
        return TRUE;
    }
    if (src->pos >= src->size) {
        endOfData(cinfo, src->size == 0);
        return TRUE;
    }
    const std::size_t n = std::min(kInputBlock, src->size - src->pos);
    src->pub.next_input_byte = src->data + src->pos;
    src->pub.bytes_in_buffer = n;
    src->pos += n;
    return TRUE;
}

void Decompressor::skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    auto n = static_cast<std::size_t>(count);
    if (n <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= n;
        return;
    }
    // Skip straight over the rest; the next read refills (or ends) from the new position.
    n -= src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
    if (src->fd >= 0) {
        // Past the end of the file the next read finds nothing, as a cut file.
        if (::lseek(src->fd, static_cast<off_t>(n), SEEK_CUR) < 0)
            ERREXIT(cinfo, JERR_FILE_READ);
        return;
    }
    src->pos += std::min(n, src->size - src->pos);
}

// --- Compressor --------------------------------------------------------------

Compressor::Compressor() : Compressor(Sink()) {}

Compressor::Compressor(Sink sink) : sink_(std::move(sink)) {
    prepare(*reinterpret_cast<j_common_ptr>(&info_));
    guarded([this] { jpeg_create_compress(&info_); });
    attach(*reinterpret_cast<j_common_ptr>(&info_));

    dest_.pub.init_destination = &initDestination;
    dest_.pub.empty_output_buffer = &emptyOutputBuffer;
    dest_.pub.term_destination = &termDestination;
    dest_.out = &output_;
    dest_.sink = sink_ ? &sink_ : nullptr;
    info_.dest = &dest_.pub;
}

Compressor::~Compressor() {
    jpeg_destroy_compress(&info_);
}

void Compressor::setDefaults() {
    guarded([this] { jpeg_set_defaults(&info_); });
}
void Compressor::setQuality(int quality, bool forceBaseline) {
    guarded([&] { jpeg_set_quality(&info_, quality, forceBaseline ? TRUE : FALSE); });
}
void Compressor::setColorspace(J_COLOR_SPACE space) {
    guarded([&] { jpeg_set_colorspace(&info_, space); });
}
void Compressor::simpleProgression() {
    guarded([this] { jpeg_simple_progression(&info_); });
}
void Compressor::start() {
    guarded([this] { jpeg_start_compress(&info_, TRUE); });
}
void Compressor::writeScanlines(JSAMPARRAY rows, JDIMENSION count) {
    guarded([&] { jpeg_write_scanlines(&info_, rows, count); });
}
void Compressor::finish() {
    guarded([this] { jpeg_finish_compress(&info_); });
}

void Compressor::initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->out->clear();
    if (!grow(*dest->out))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->pub.next_output_byte = reinterpret_cast<JOCTET*>(dest->out->data());
    dest->pub.free_in_buffer = dest->out->size();
}

// Hands the first `used` bytes of the buffer to the sink.
bool Compressor::drain(j_compress_ptr cinfo, std::size_t used) noexcept {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    try {
        (*dest->sink)(dest->out->data(), used);
    } catch (...) {
        setPending(reinterpret_cast<j_common_ptr>(cinfo), std::current_exception());
        return false;
    }
    dest->pub.next_output_byte = reinterpret_cast<JOCTET*>(dest->out->data());
    dest->pub.free_in_buffer = dest->out->size();
    return true;
}

// Called when the whole buffer is full.
boolean Compressor::emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    if (dest->sink) {
        if (!drain(cinfo, dest->out->size()))
            leaveCodec(reinterpret_cast<j_common_ptr>(cinfo));
        return TRUE;
    }
    const std::size_t used = dest->out->size();
    if (!grow(*dest->out))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->pub.next_output_byte = reinterpret_cast<JOCTET*>(dest->out->data()) + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void Compressor::termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    const std::size_t used = dest->out->size() - dest->pub.free_in_buffer;
    if (dest->sink) {
        if (!drain(cinfo, used))
            leaveCodec(reinterpret_cast<j_common_ptr>(cinfo));
        return;
    }
    dest->out->resize(used);
}

} // namespace kelvora::jpegcodec

#include "album/smooth_scale.h"

#include "album/album_texts.h"
#include "base/base_texts.h"
#include "base/bitmap.h"
#include "base/errors.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace kelvora {
namespace {

constexpr int kSliceRows = 16;
// The most a side shrinks in one pass. libswscale 6.7 (FFmpeg 5.1) fed in
// slices crashes on reductions beyond about 28 to 1 (its filter outgrows its
// window of rows), so greater reductions go through passes of at most this.
constexpr int kMostReduction = 16;

// Like formats on both sides: libswscale then filters each plane as it is.
AVPixelFormat planarFormat(int channels) {
    switch (channels) {
    case 1:
        return AV_PIX_FMT_GRAY8;
    case 3:
        return AV_PIX_FMT_YUV444P;
    default:
        return AV_PIX_FMT_YUVA444P;
    }
}

// libswscale's vector code reads and writes a little past a row's end.
std::size_t paddedStride(int width) {
    return (static_cast<std::size_t>(width) + 63) / 64 * 64 + 64;
}

// At least the rows libswscale's Lanczos filter takes for one output row: six
// source rows per output row's spacing when reducing, seven when enlarging, and
// its alignment.
long long filterTaps(int source, int target) {
    return 10 + 6LL * ((source + target - 1) / target);
}

// The most output rows one slice can complete. Each source row completes at
// most ceil(target / source) + 1 output rows; the rows whose filter the edges
// clip (about half a filter's worth at each edge) come out together.
int outputRowsPerSlice(QSize source, QSize target) {
    const long long perRow = (target.height() + source.height() - 1) / source.height() + 1;
    const long long rows =
        (kSliceRows + 2 * filterTaps(source.height(), target.height()) + 2) * perRow;
    return static_cast<int>(std::min<long long>(rows, target.height()));
}

struct Planes {
    std::unique_ptr<uchar, decltype(&std::free)> bytes{nullptr, &std::free};
    std::size_t stride = 0;
    std::size_t rows = 0;

    void allocate(int width, int rowCount, int planes) {
        stride = paddedStride(width);
        rows = static_cast<std::size_t>(rowCount);
        const std::size_t size = stride * rows * static_cast<std::size_t>(planes);
        bytes.reset(static_cast<uchar*>(std::aligned_alloc(64, size)));
        if (!bytes)
            throw EOutOfResources(BaseTexts::Text(BaseTexts::SOutOfMemory));
        std::memset(bytes.get(), 0, size);
    }
    uchar* plane(int p) const { return bytes.get() + static_cast<std::size_t>(p) * stride * rows; }
};

// Where the first pass of a reduction too great for one pass ends.
QSize firstPassSize(QSize source, QSize target) {
    const auto side = [](int from, int to) {
        return from > to * static_cast<long long>(kMostReduction)
                   ? (from + kMostReduction - 1) / kMostReduction
                   : to;
    };
    return {side(source.width(), target.width()), side(source.height(), target.height())};
}

// A row of interleaved pixels into one row of each plane, and back; the channel
// count known at compile time, so that the loops vectorise.
template <int C> void split(const uchar* __restrict row, uchar* const* planes, int width) {
    uchar* __restrict p0 = planes[0];
    uchar* __restrict p1 = planes[1];
    uchar* __restrict p2 = planes[2];
    uchar* __restrict p3 = planes[C - 1];
    for (int x = 0; x < width; ++x) {
        p0[x] = row[x * C];
        p1[x] = row[x * C + 1];
        p2[x] = row[x * C + 2];
        if constexpr (C == 4)
            p3[x] = row[x * C + 3];
    }
}

template <int C> void merge(const uchar* const* planes, uchar* __restrict row, int width) {
    const uchar* __restrict p0 = planes[0];
    const uchar* __restrict p1 = planes[1];
    const uchar* __restrict p2 = planes[2];
    const uchar* __restrict p3 = planes[C - 1];
    for (int x = 0; x < width; ++x) {
        if constexpr (C == 4) {
            // Premultiplied colour cannot exceed its alpha; the filter's ringing can.
            row[x * C] = std::min(p0[x], p3[x]);
            row[x * C + 1] = std::min(p1[x], p3[x]);
            row[x * C + 2] = std::min(p2[x], p3[x]);
            row[x * C + 3] = p3[x];
        } else {
            row[x * C] = p0[x];
            row[x * C + 1] = p1[x];
            row[x * C + 2] = p2[x];
        }
    }
}

void quietLibrary() {
    // Its failures come out as our errors; nothing of it reaches the terminal.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace

struct SmoothScaler::Impl {
    QSize source;
    QSize target;
    int channels;
    RowSink sink;
    SwsContext* context = nullptr;
    Planes in;  // one slice of source rows, a plane per channel
    Planes out; // the output rows one slice completes
    std::vector<uchar> row;
    std::unique_ptr<SmoothScaler> next; // the further passes of a great reduction
    int pushed = 0;
    int filled = 0; // source rows in the slice
    int produced = 0;

    ~Impl() { sws_freeContext(context); }
    void scaleSlice();
};

void SmoothScaler::Impl::scaleSlice() {
    const uint8_t* src[4] = {};
    int srcStride[4] = {};
    uint8_t* dst[4] = {};
    int dstStride[4] = {};
    for (int p = 0; p < channels; ++p) {
        src[p] = in.plane(p);
        srcStride[p] = static_cast<int>(in.stride);
        // libswscale puts output row y at dst + y * stride: the buffer holds the
        // rows from `produced` on. Computed as an address, never as an
        // out-of-range pointer.
        const auto base = reinterpret_cast<std::uintptr_t>(out.plane(p));
        dst[p] =
            reinterpret_cast<uint8_t*>(base - static_cast<std::uintptr_t>(produced) * out.stride);
        dstStride[p] = static_cast<int>(out.stride);
    }
    const int made = sws_scale(context, src, srcStride, pushed - filled, filled, dst, dstStride);
    filled = 0;
    if (made < 0 || made > static_cast<int>(out.rows))
        throw EOutOfResources(
            AlbumTexts::Text(AlbumTexts::SCannotSmooth).arg(target.width()).arg(target.height()));
    const int width = target.width();
    for (int i = 0; i < made; ++i) {
        const std::size_t offset = static_cast<std::size_t>(i) * out.stride;
        const uchar* planes[4] = {};
        for (int p = 0; p < channels; ++p)
            planes[p] = out.plane(p) + offset;
        if (channels == 1) {
            sink(produced++, planes[0]);
            continue;
        }
        if (channels == 3)
            merge<3>(planes, row.data(), width);
        else
            merge<4>(planes, row.data(), width);
        sink(produced++, row.data());
    }
}

SmoothScaler::SmoothScaler(QSize source, QSize target, int channels, RowSink sink)
    : d_(std::make_unique<Impl>()) {
    d_->source = source;
    d_->target = target;
    d_->channels = channels;
    d_->sink = std::move(sink);
    const QSize pass = firstPassSize(source, target);
    if (pass != target) {
        d_->next = std::make_unique<SmoothScaler>(pass, target, channels, std::move(d_->sink));
        d_->sink = [next = d_->next.get()](int, const uchar* row) { next->push(row); };
        target = pass;
        d_->target = pass;
    }
    d_->row.resize(static_cast<std::size_t>(target.width()) * static_cast<std::size_t>(channels));
    if (source == target)
        return; // rows pass as they are
    quietLibrary();
    const AVPixelFormat format = planarFormat(channels);
    d_->context =
        sws_getContext(source.width(), source.height(), format, target.width(), target.height(),
                       format, SWS_LANCZOS | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!d_->context)
        throw EOutOfResources(
            AlbumTexts::Text(AlbumTexts::SCannotSmooth).arg(target.width()).arg(target.height()));
    d_->in.allocate(source.width(), kSliceRows, channels);
    d_->out.allocate(target.width(), outputRowsPerSlice(source, target), channels);
}

SmoothScaler::~SmoothScaler() = default;

void SmoothScaler::push(const uchar* row) {
    Impl& d = *d_;
    if (!d.context) {
        d.sink(d.pushed++, row);
        return;
    }
    const std::size_t offset = static_cast<std::size_t>(d.filled) * d.in.stride;
    const int width = d.source.width();
    uchar* planes[4] = {};
    for (int p = 0; p < d.channels; ++p)
        planes[p] = d.in.plane(p) + offset;
    if (d.channels == 1)
        std::memcpy(planes[0], row, static_cast<std::size_t>(width));
    else if (d.channels == 3)
        split<3>(row, planes, width);
    else
        split<4>(row, planes, width);
    ++d.pushed;
    if (++d.filled == kSliceRows || d.pushed == d.source.height())
        d.scaleSlice();
}

std::size_t SmoothScaler::workingMemory(QSize source, QSize target, int channels) {
    if (source.isEmpty() || target.isEmpty())
        return 0;
    const QSize pass = firstPassSize(source, target);
    if (pass != target)
        return workingMemory(source, pass, channels) + workingMemory(pass, target, channels);
    const auto ch = static_cast<std::size_t>(channels);
    const auto tw = static_cast<std::size_t>(target.width());
    const std::size_t slice = paddedStride(source.width()) * kSliceRows * ch;
    const std::size_t outRows = paddedStride(target.width()) *
                                static_cast<std::size_t>(outputRowsPerSlice(source, target)) * ch;
    // The library's window: 16-bit rows at the output width, with room to spare.
    const auto taps = static_cast<std::size_t>(filterTaps(source.height(), target.height()));
    const std::size_t window = (taps + kSliceRows) * tw * 2 * ch * 2;
    // Filter coefficients and positions, across and down.
    const std::size_t filters =
        static_cast<std::size_t>(filterTaps(source.width(), target.width())) * tw * 6 +
        taps * static_cast<std::size_t>(target.height()) * 6;
    return slice + outRows + window + filters + tw * ch + 64 * 1024;
}

QImage ScaleSmooth(const QImage& original, int width, int height) {
    if (width <= 0 || height <= 0 || original.isNull())
        return {};
    checkPictureSize(width, height);
    const bool alpha = original.hasAlphaChannel();
    const bool grey = !alpha && original.isGrayscale();
    const QImage source = original.convertToFormat(alpha  ? QImage::Format_ARGB32_Premultiplied
                                                   : grey ? QImage::Format_Grayscale8
                                                          : QImage::Format_BGR888);
    QImage target(width, height,
                  alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888);
    if (target.isNull() || source.isNull())
        throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory).arg(width).arg(height));
    target.setDotsPerMeterX(original.dotsPerMeterX());
    target.setDotsPerMeterY(original.dotsPerMeterY());
    SmoothScaler scaler(source.size(), target.size(),
                        alpha  ? 4
                        : grey ? 1
                               : 3,
                        [&](int y, const uchar* row) {
                            uchar* out = target.scanLine(y);
                            if (!grey) {
                                std::memcpy(out, row,
                                            static_cast<std::size_t>(width) * (alpha ? 4 : 3));
                                return;
                            }
                            for (int x = 0; x < width; ++x, out += 3)
                                out[0] = out[1] = out[2] = row[x];
                        });
    for (int y = 0; y < source.height(); ++y)
        scaler.push(source.constScanLine(y));
    return alpha ? target.convertToFormat(QImage::Format_ARGB32) : target;
}

int CoveringJpegScale(QSize stored, QSize target) {
    const auto decoded = [](int side, int eighths) {
        return (static_cast<long long>(side) * eighths + 7) / 8;
    };
    for (int m = 1; m < 8; ++m)
        if (decoded(stored.width(), m) >= target.width() &&
            decoded(stored.height(), m) >= target.height())
            return m;
    return 8;
}

} // namespace kelvora

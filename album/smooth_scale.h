#pragma once
// Filtered scaling of a picture that arrives row by row, top to bottom, without
// holding it: libswscale's Lanczos filter (three lobes), fed the rows in small
// slices. libswscale keeps the rows its vertical filter still needs, already
// scaled across, and gives back each output row as soon as the rows under it
// have arrived; the output rows go to a sink in order.
//
// Pixels are 1 (grey), 3 or 4 bytes, each byte a channel filtered on its own:
// colours as they are stored (as other programs resize them), alpha
// pictures premultiplied. The channels are handed to libswscale as planes of a
// format it scales without any colour conversion.
//
// Memory: a slice of source rows, the filter's window of rows at the output
// width, and the output rows of one slice (a few dozen, or the rows the last
// slice completes when a picture only a few rows high is stretched).
// workingMemory() tells it from the sizes alone. One object per picture and
// thread.
#include <QImage>
#include <QSize>
#include <cstddef>
#include <functional>
#include <memory>

namespace kelvora {

class SmoothScaler {
public:
    // Gets each output row (target width x channels bytes) and its index, in order.
    using RowSink = std::function<void(int y, const uchar* row)>;

    // Sides at least one pixel; channels 1, 3 or 4. EOutOfResources when the
    // library cannot scale between the sizes.
    SmoothScaler(QSize source, QSize target, int channels, RowSink sink);
    ~SmoothScaler();
    SmoothScaler(const SmoothScaler&) = delete;
    SmoothScaler& operator=(const SmoothScaler&) = delete;

    // The next source row (source width x channels bytes). The output rows it
    // completes reach the sink before this returns; after the last source row,
    // every output row has.
    void push(const uchar* row);

    static std::size_t workingMemory(QSize source, QSize target, int channels);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The whole picture resampled to width x height: Format_BGR888, or Format_ARGB32
// for a picture with an alpha channel.
QImage ScaleSmooth(const QImage& source, int width, int height);

// The smallest libjpeg decoding scale, in eighths (1 to 8), whose picture still
// covers target on both sides: a stored w x h decodes at scale m to
// ceil(w m / 8) x ceil(h m / 8). Enlargements decode at full size.
int CoveringJpegScale(QSize stored, QSize target);

} // namespace kelvora

#include "album/streamed_conversion.h"

#include "album/nearest_scale.h"
#include "album/picture_converter.h"
#include "album/staged_file.h"
#include "base/errors.h"
#include "base/orientation.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_encode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace kelvora {
namespace {

// One scaled copy being filled from the stored rows as they arrive. Its "lines"
// are output rows, or output columns when the photo is turned a quarter; each line
// takes its pixels from one stored row.
class ScaledCopy {
public:
    ScaledCopy(QSize target, QSize stored, int orientation) : target_(target) {
        const QSize upright = UprightSize(stored, orientation);
        const std::vector<int> us = NearestSampleMap(upright.width(), target.width());
        const std::vector<int> vs = NearestSampleMap(upright.height(), target.height());
        columns_ = SwapsSides(orientation);
        // Along a row, u varies; along a column, v does. The stored row depends on
        // the other coordinate only.
        const std::vector<int>& lineCoords = columns_ ? us : vs;
        const std::vector<int>& alongCoords = columns_ ? vs : us;
        lines_.reserve(lineCoords.size());
        for (std::size_t i = 0; i < lineCoords.size(); ++i) {
            const int c = lineCoords[i];
            const QPoint p = columns_ ? StoredPoint(orientation, stored, c, 0)
                                      : StoredPoint(orientation, stored, 0, c);
            lines_.push_back({p.y(), static_cast<int>(i)});
        }
        along_.reserve(alongCoords.size());
        for (const int c : alongCoords) {
            const QPoint p = columns_ ? StoredPoint(orientation, stored, 0, c)
                                      : StoredPoint(orientation, stored, c, 0);
            along_.push_back(p.x());
        }
        // Lines that share a stored row stay in output order: an upright photo's
        // rows reach an encoder top to bottom.
        std::stable_sort(lines_.begin(), lines_.end(),
                         [](const Line& a, const Line& b) { return a.storedRow < b.storedRow; });
    }
    virtual ~ScaledCopy() = default;

    // Rows in the stored order arrive here, each once.
    void take(int storedRow, const uchar* row, int bytesPerPixel) {
        while (next_ < lines_.size() && lines_[next_].storedRow == storedRow) {
            fillLine(lines_[next_].index, row, bytesPerPixel);
            ++next_;
        }
    }

protected:
    virtual void fillLine(int line, const uchar* row, int bytesPerPixel) = 0;

    static void pick(uchar* out, const uchar* row, int x, int bytesPerPixel) {
        if (bytesPerPixel == 3) {
            std::memcpy(out, row + static_cast<std::ptrdiff_t>(x) * 3, 3);
        } else {
            out[0] = out[1] = out[2] = row[x]; // grey as blue, green and red
        }
    }
    void fillRow(uchar* out, const uchar* row, int bytesPerPixel) const {
        for (const int x : along_) {
            pick(out, row, x, bytesPerPixel);
            out += 3;
        }
    }

    QSize target_;
    std::vector<int> along_;
    bool columns_ = false;

private:
    struct Line {
        int storedRow;
        int index;
    };
    std::vector<Line> lines_;
    std::size_t next_ = 0;
};

// A copy held whole, in 24-bit blue, green, red.
class HeldCopy : public ScaledCopy {
public:
    HeldCopy(QSize target, QSize stored, int orientation)
        : ScaledCopy(target, stored, orientation), image_(target, QImage::Format_BGR888) {
        if (image_.isNull())
            throw EOutOfResources(QStringLiteral("画像のメモリを確保できません (%1 x %2)")
                                      .arg(target.width())
                                      .arg(target.height()));
    }
    const QImage& image() const { return image_; }

protected:
    void fillLine(int line, const uchar* row, int bytesPerPixel) override {
        if (!columns_) {
            fillRow(image_.scanLine(line), row, bytesPerPixel);
            return;
        }
        for (int y = 0; y < target_.height(); ++y)
            pick(image_.scanLine(y) + static_cast<std::ptrdiff_t>(line) * 3, row,
                 along_[static_cast<std::size_t>(y)], bytesPerPixel);
    }

private:
    QImage image_;
};

// A copy encoded as its rows arrive (the photo needs no turning).
class EncodedCopy : public ScaledCopy {
public:
    EncodedCopy(QSize target, QSize stored, const TPictureSettings& settings, TStagedFile& file)
        : ScaledCopy(target, stored, 1),
          encoder_(target.width(), target.height(), encodeSettings(settings),
                   [&file](const char* bytes, std::size_t size) {
                       file.write({bytes, size});
                   }) {}
    void finish() { encoder_.finish(); }

protected:
    void fillLine(int, const uchar* row, int bytesPerPixel) override {
        fillRow(encoder_.nextRow(), row, bytesPerPixel);
        encoder_.rowDone();
    }

private:
    static JpegEncodeSettings encodeSettings(const TPictureSettings& settings) {
        JpegEncodeSettings s;
        s.quality = static_cast<std::uint8_t>(settings.Quality & 0xFF);
        return s;
    }
    JpegRowEncoder encoder_;
};

} // namespace

QSize PreviewSize(QSize picture, int side) {
    if (picture.isEmpty())
        return {};
    const QSize fitted = picture.scaled(side, side, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1)).boundedTo(picture);
}

QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop) {
    reader.start();
    const JpegHeader& header = reader.header();
    const QSize stored(header.width, header.height);
    const int orientation = header.orientation;
    const QSize upright = UprightSize(stored, orientation);

    struct Output {
        const TScaledOutput* target;
        std::unique_ptr<EncodedCopy> encoded;
        std::unique_ptr<HeldCopy> held;
        ScaledCopy* copy() {
            return encoded ? static_cast<ScaledCopy*>(encoded.get()) : held.get();
        }
    };
    std::vector<Output> copies;
    for (const TScaledOutput& out : outputs) {
        const QSize size = TargetSize(*out.settings, upright.width(), upright.height());
        Output o{&out, nullptr, nullptr};
        if (orientation == 1)
            o.encoded = std::make_unique<EncodedCopy>(size, stored, *out.settings, *out.file);
        else
            o.held = std::make_unique<HeldCopy>(size, stored, orientation);
        copies.push_back(std::move(o));
    }
    std::optional<HeldCopy> preview;
    if (previewSide > 0)
        preview.emplace(PreviewSize(upright, previewSide), stored, orientation);

    const int bpp = reader.bytesPerPixel();
    const unsigned char* rows[16];
    int y = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            throw EAbort(QStringLiteral("中止しました"));
        const int n = reader.read(rows, 16);
        if (n == 0)
            break;
        for (int i = 0; i < n; ++i, ++y) {
            for (Output& o : copies)
                o.copy()->take(y, rows[i], bpp);
            if (preview)
                preview->take(y, rows[i], bpp);
        }
    }
    reader.finish();

    for (Output& o : copies) {
        if (o.encoded) {
            o.encoded->finish();
        } else {
            JpegEncodeSettings s;
            s.quality = static_cast<std::uint8_t>(o.target->settings->Quality & 0xFF);
            const std::string bytes = encodeJpeg(o.held->image(), s);
            o.target->file->write(bytes);
        }
    }
    return preview ? preview->image() : QImage();
}

} // namespace kelvora

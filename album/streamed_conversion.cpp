#include "album/streamed_conversion.h"

#include "album/album_texts.h"
#include "album/picture_converter.h"
#include "album/scaled_copy.h"
#include "album/smooth_copy.h"
#include "album/smooth_scale.h"
#include "album/staged_file.h"
#include "base/errors.h"
#include "base/orientation.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_encode.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace kelvora {

namespace {

// The decoding of the file at a scale (in eighths), feeding every output;
// returns the preview when previewSide > 0.
QImage convertPass(JpegRowReader& reader, int eighths,
                   std::span<const TScaledOutput* const> outputs, int previewSide,
                   const std::atomic<bool>* stop) {
    const int orientation = reader.header().orientation;
    const QSize upright = UprightSize({reader.header().width, reader.header().height}, orientation);
    if (eighths != 8)
        reader.setScale(eighths);
    const QSize stored = reader.outputSize();
    reader.start();
    const int bpp = reader.bytesPerPixel();

    struct Output {
        const TScaledOutput* target;
        std::unique_ptr<EncodedCopy> encoded;
        std::unique_ptr<HeldCopy> held;
        std::unique_ptr<SmoothCopy> smooth;
        void take(int y, const unsigned char* row) {
            if (smooth)
                smooth->take(row);
            else if (encoded)
                encoded->take(y, row);
            else
                held->take(y, row);
        }
    };
    std::vector<Output> copies;
    for (const TScaledOutput* out : outputs) {
        const QSize size = TargetSize(*out->settings, upright.width(), upright.height());
        Output o{out, nullptr, nullptr, nullptr};
        if (out->settings->Smooth)
            o.smooth = std::make_unique<SmoothCopy>(size, stored, orientation, bpp, *out->settings,
                                                    *out->file);
        else if (orientation == 1)
            o.encoded = std::make_unique<EncodedCopy>(size, stored, bpp, *out->settings, *out->file,
                                                      QImage::Format_BGR888);
        else
            o.held =
                std::make_unique<HeldCopy>(size, stored, orientation, bpp, QImage::Format_BGR888);
        copies.push_back(std::move(o));
    }
    std::optional<HeldCopy> preview;
    if (previewSide > 0)
        preview.emplace(PreviewSize(UprightSize(stored, orientation), previewSide), stored,
                        orientation, bpp, QImage::Format_BGR888);

    const unsigned char* rows[16];
    int y = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));
        const int n = reader.read(rows, 16);
        if (n == 0)
            break;
        for (int i = 0; i < n; ++i, ++y) {
            for (Output& o : copies)
                o.take(y, rows[i]);
            if (preview)
                preview->take(y, rows[i]);
        }
    }
    reader.finish();

    for (Output& o : copies) {
        if (o.smooth) {
            o.smooth->finish();
        } else if (o.encoded) {
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

} // namespace

QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop) {
    std::vector<const TScaledOutput*> all;
    for (const TScaledOutput& out : outputs)
        all.push_back(&out);
    return convertPass(reader, JpegDecodeScale(reader.header(), outputs), all, previewSide, stop);
}

int JpegDecodeScale(const JpegHeader& header, std::span<const TScaledOutput> outputs) {
    const QSize stored(header.width, header.height);
    const QSize upright = UprightSize(stored, header.orientation);
    int eighths = 1;
    for (const TScaledOutput& out : outputs) {
        if (!out.settings->Smooth)
            return 8; // nearest neighbour picks from the full-size rows
        const QSize size = TargetSize(*out.settings, upright.width(), upright.height());
        eighths = std::max(
            eighths,
            CoveringJpegScale(stored, SwapsSides(header.orientation) ? size.transposed() : size));
    }
    return eighths;
}

} // namespace kelvora

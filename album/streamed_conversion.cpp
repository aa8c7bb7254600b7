#include "album/streamed_conversion.h"

#include "album/album_texts.h"
#include "album/picture_converter.h"
#include "album/scaled_copy.h"
#include "album/staged_file.h"
#include "base/errors.h"
#include "base/orientation.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_encode.h"

#include <memory>
#include <optional>
#include <vector>

namespace kelvora {

QImage ConvertJpegRows(JpegRowReader& reader, std::span<const TScaledOutput> outputs,
                       int previewSide, const std::atomic<bool>* stop) {
    reader.start();
    const JpegHeader& header = reader.header();
    const QSize stored(header.width, header.height);
    const int orientation = header.orientation;
    const QSize upright = UprightSize(stored, orientation);
    const int bpp = reader.bytesPerPixel();

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
            o.encoded = std::make_unique<EncodedCopy>(size, stored, bpp, *out.settings, *out.file,
                                                      QImage::Format_BGR888);
        else
            o.held =
                std::make_unique<HeldCopy>(size, stored, orientation, bpp, QImage::Format_BGR888);
        copies.push_back(std::move(o));
    }
    std::optional<HeldCopy> preview;
    if (previewSide > 0)
        preview.emplace(PreviewSize(upright, previewSide), stored, orientation, bpp,
                        QImage::Format_BGR888);

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
                o.copy()->take(y, rows[i]);
            if (preview)
                preview->take(y, rows[i]);
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

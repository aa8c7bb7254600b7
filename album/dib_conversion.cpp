#include "album/dib_conversion.h"

#include "album/album_texts.h"
#include "album/picture_converter.h"
#include "album/smooth_copy.h"
#include "base/bmp_codec.h"
#include "base/errors.h"
#include "spi/spi_bitmap.h"

#include <memory>
#include <optional>
#include <vector>

namespace kelvora {
namespace {

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// The bitmap file TSPIGraphic::saveToStream would write, up to where its rows begin.
std::string fileHeaders(TSPIGraphic& graphic) {
    const std::size_t headerSize = graphic.HeaderSize();
    std::string out = "BM";
    put32(out, static_cast<std::uint32_t>(14 + headerSize + graphic.ImageSize()));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(14 + headerSize));
    out.append(static_cast<const char*>(graphic.Data()->InfoPointer()), headerSize);
    return out;
}

void checkStop(const std::atomic<bool>* stop) {
    if (stop && stop->load(std::memory_order_relaxed))
        throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));
}

} // namespace

QImage ConvertDibRows(TSPIGraphic& graphic, std::span<const TScaledOutput> outputs, int previewSide,
                      const std::atomic<bool>* stop) {
    BmpRows rows(fileHeaders(graphic), 14 + graphic.HeaderSize() + graphic.ImageSize());
    const QSize size(rows.width(), rows.height());
    const auto* bits = static_cast<const uchar*>(graphic.Data()->BitsPointer());
    const auto stored = [&](int y) {
        const int r = rows.topDown() ? y : size.height() - 1 - y;
        return bits + static_cast<std::size_t>(r) * rows.stride();
    };

    if (rows.format() == QImage::Format_ARGB32) {
        bool alpha = false;
        for (int y = 0; y < size.height() && !alpha; ++y)
            alpha = rows.hasAlpha(stored(y));
        if (!alpha)
            rows.setOpaque();
    }
    // The picture TSPIBitmap would hold: the bitmap reader's, with the plug-in's
    // own palette for 4 bits.
    const QImage::Format format = rows.format();
    QList<QRgb> colorTable = graphic.KeepPalette() ? graphic.palette() : rows.palette();
    // Scaling turns 1-bit pictures into palette pictures first; so does each row here.
    QImage line = allocatePicture(size.width(), 1, format);
    line.setColorTable(colorTable);
    const bool mono = format == QImage::Format_Mono;
    const QImage::Format copyFormat = mono ? QImage::Format_Indexed8 : format;
    if (mono)
        colorTable = line.copy(0, 0, 1, 1).convertToFormat(copyFormat).colorTable();
    const int bytes = PixelBytes(copyFormat);

    std::vector<std::unique_ptr<EncodedCopy>> copies;
    std::vector<std::unique_ptr<SmoothCopy>> smooth;
    // Smooth copies filter colours: palette rows are looked up first, and alpha
    // rows premultiplied.
    const bool alpha = format == QImage::Format_ARGB32;
    const QImage::Format smoothFormat =
        alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888;
    for (const TScaledOutput& out : outputs) {
        CheckPictureType(*out.settings);
        const QSize target = TargetSize(*out.settings, size.width(), size.height());
        if (out.settings->Smooth)
            smooth.push_back(std::make_unique<SmoothCopy>(target, size, 1, alpha ? 4 : 3,
                                                          *out.settings, *out.file));
        else
            copies.push_back(std::make_unique<EncodedCopy>(target, size, bytes, *out.settings,
                                                           *out.file, copyFormat, colorTable));
    }
    std::optional<HeldCopy> preview;
    if (previewSide > 0)
        preview.emplace(PreviewSize(size, previewSide), size, 1, bytes, copyFormat, colorTable);

    for (int y = 0; y < size.height(); ++y) {
        if (y % 16 == 0)
            checkStop(stop);
        bool wanted = !smooth.empty() || (preview && preview->wants(y));
        for (const auto& copy : copies)
            wanted = wanted || copy->wants(y);
        if (!wanted)
            continue;
        rows.decode(stored(y), line.scanLine(0));
        const QImage converted = mono ? line.convertToFormat(copyFormat) : QImage();
        const uchar* row = mono ? converted.constScanLine(0) : line.constScanLine(0);
        for (const auto& copy : copies)
            copy->take(y, row);
        if (preview)
            preview->take(y, row);
        if (!smooth.empty()) {
            const QImage colours = line.convertToFormat(smoothFormat);
            for (const auto& copy : smooth)
                copy->take(colours.constScanLine(0));
        }
    }
    for (const auto& copy : copies)
        copy->finish();
    for (const auto& copy : smooth)
        copy->finish();
    return preview ? preview->image() : QImage();
}

} // namespace kelvora

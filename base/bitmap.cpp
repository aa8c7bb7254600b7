#include "base/bitmap.h"

#include "base/base_texts.h"
#include "base/bmp_codec.h"
#include "base/errors.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <cstdint>
#include <istream>
#include <iterator>
#include <ostream>

namespace kelvora {

void checkPictureSize(long long width, long long height) {
    if (width < 0 || height < 0 || width * height > kMaxPicturePixels)
        throw EOutOfResources(
            QStringLiteral("画像が大きすぎます (%1 x %2)").arg(width).arg(height));
}

QImage::Format qimageFormatFor(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return QImage::Format_Mono;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
        return QImage::Format_Indexed8;
    case TPixelFormat::pf32bit:
        return QImage::Format_RGB32;
    default:
        return QImage::Format_BGR888;
    }
}

namespace {
TPixelFormat pixelFormatOf(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return TPixelFormat::pf1bit;
    case QImage::Format_Indexed8:
        return image.colorCount() <= 16 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return TPixelFormat::pf32bit;
    default:
        // Other layouts (grey, 16 bits a channel, ...) become 24 bits, or 32 with alpha.
        return image.hasAlphaChannel() ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
    }
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
    };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

// Whether every chunk before the pixels lies within the data. libpng takes such
// a chunk (a text, a palette, a profile) whole into memory at the length it
// declares, so a few bytes declaring a gigabyte would cost a gigabyte before
// the file is found short.
bool pngChunksFitTheData(const std::string& bytes) {
    std::size_t at = 8; // the signature
    while (at + 8 <= bytes.size()) {
        const std::uint64_t length = bigEndian32(bytes, at);
        const std::string type = bytes.substr(at + 4, 4);
        if (type == "IDAT" || type == "IEND")
            return true; // the rows are read as they come, whatever is declared
        if (at + 12 + length > bytes.size())
            return false;
        at += 12 + static_cast<std::size_t>(length);
    }
    return true;
}

// Any picture Qt can read, by its content rather than by its extension.
QImage readByContent(const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    allowPictureAllocations();
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format == "png" && !pngChunksFitTheData(bytes))
        throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SInvalidBitmap));
    const QSize size = reader.size();
    if (size.isValid()) {
        checkPictureSize(size.width(), size.height());
        // No raster file packs more pixels into a byte than a one-bit PNG of a single
        // colour does (about 8,000): a file that declares more is a trap that would
        // cost the whole picture's memory for a few bytes. Drawings have no such bound.
        constexpr long long kMostPixelsPerByte = 16384;
        const long long pixels = static_cast<long long>(size.width()) * size.height();
        if (!format.startsWith("svg") &&
            pixels > static_cast<long long>(bytes.size()) * kMostPixelsPerByte)
            throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SInvalidBitmap));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SInvalidBitmap));
    return image;
}
} // namespace

QImage allocatePicture(int width, int height, QImage::Format format) {
    checkPictureSize(width, height);
    if (width == 0 || height == 0)
        return {};
    QImage image(width, height, format);
    if (image.isNull())
        throw EOutOfResources(BaseTexts::Text(BaseTexts::SPictureMemory).arg(width).arg(height));
    return image;
}

void allowPictureAllocations() {
    // Qt 6 keeps one limit for the whole process, in MiB; 0 means none.
    constexpr int needed = static_cast<int>((kMaxPicturePixels * 4) >> 20) + 1;
    const int current = QImageReader::allocationLimit();
    if (current != 0 && current < needed)
        QImageReader::setAllocationLimit(needed);
}

const TGraphicClass& TBitmap::classInfo() {
    static const TGraphicClass info{"TBitmap", &TGraphic::classInfo(),
                                    [] { return std::make_unique<TBitmap>(); }};
    return info;
}

TBitmap::TBitmap(int width, int height, TPixelFormat format) : format_(format) {
    image_ = allocatePicture(width, height, qimageFormatFor(format));
    if (!image_.isNull())
        image_.fill(0);
}

void TBitmap::setSize(int width, int height) {
    if (width == this->width() && height == this->height())
        return;
    QImage resized = allocatePicture(width, height, qimageFormatFor(format_));
    if (!resized.isNull()) {
        resized.fill(0);
        resized.setColorTable(image_.colorTable());
        if (!image_.isNull()) {
            QPainter painter(&resized);
            painter.drawImage(0, 0, image_);
        }
    }
    image_ = std::move(resized);
}

void TBitmap::setPixelFormat(TPixelFormat format) {
    if (format == format_)
        return;
    const QImage::Format target = qimageFormatFor(format);
    if (!image_.isNull() && image_.format() != target)
        image_ = image_.convertToFormat(target);
    format_ = format;
}

void TBitmap::draw(QPainter& painter, const QRect& rect) {
    if (!empty())
        painter.drawImage(rect, image_);
}

void TBitmap::setImage(QImage image) {
    const TPixelFormat format = pixelFormatOf(image);
    if (format == TPixelFormat::pf24bit && image.format() != QImage::Format_BGR888)
        image = image.convertToFormat(QImage::Format_BGR888);
    else if (format == TPixelFormat::pf32bit && image.format() != QImage::Format_RGB32 &&
             image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32);
    image_ = std::move(image);
    format_ = format;
}

void TBitmap::setImage(QImage image, TPixelFormat format) {
    image_ = std::move(image);
    format_ = format;
}

void TBitmap::setPalette(const QList<QRgb>& colors) {
    if (!image_.isNull() && image_.format() == QImage::Format_Indexed8)
        image_.setColorTable(colors);
}

void TBitmap::loadFromStream(std::istream& in) {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    loadFromBytes(bytes);
}

void TBitmap::loadFromBytes(const std::string& bytes) {
    if (isBmpData(bytes)) {
        DecodedBitmap decoded = decodeBmp(bytes);
        setImage(std::move(decoded.image), decoded.pixelFormat);
        return;
    }
    // A picture saved under the wrong extension still decodes when Qt knows its content.
    setImage(readByContent(bytes));
}

void TBitmap::saveToStream(std::ostream& out) {
    const std::string data = encodeBmp(image_, format_);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void TBitmap::assign(const TGraphic& source) {
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        image_ = bitmap->image_;
        format_ = bitmap->format_;
        return;
    }
    // Any other picture is drawn into the bitmap through its decoded pixels.
    QImage decoded = const_cast<TGraphic&>(source).image();
    if (decoded.isNull()) {
        image_ = {};
        return;
    }
    setImage(std::move(decoded));
}

} // namespace kelvora

#include "base/metafile.h"

#include "base/base_texts.h"
#include "base/bitmap.h"
#include "base/errors.h"
#include "base/metafile_converter.h"

#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <istream>
#include <iterator>
#include <ostream>
#include <string_view>

namespace kelvora {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEmfHeaderRecord = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::size_t kPlaceableHeaderSize = 22;
constexpr std::size_t kWmfHeaderSize = 18;
constexpr std::size_t kEmfHeaderSize = 88;
constexpr double kScreenDpi = 96.0;
constexpr double kHundredthsOfMmPerInch = 2540.0;

[[noreturn]] void invalidMetafile() {
    throw EInvalidGraphic(QStringLiteral("メタファイルが不正です"));
}

[[noreturn]] void cannotRead() {
    throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SMetafileUnreadable));
}

// Callers check the bounds.
std::uint32_t le16(std::string_view b, std::size_t pos) {
    return static_cast<unsigned char>(b[pos]) | static_cast<unsigned char>(b[pos + 1]) << 8;
}
std::uint32_t le32(std::string_view b, std::size_t pos) {
    return le16(b, pos) | le16(b, pos + 2) << 16;
}
double signed16(std::string_view b, std::size_t pos) {
    return static_cast<std::int16_t>(le16(b, pos));
}
double signed32(std::string_view b, std::size_t pos) {
    return static_cast<std::int32_t>(le32(b, pos));
}

struct MetafileHeader {
    bool enhanced;
    QSizeF size; // in pixels; empty when the header does not say
};

bool isWmfHeader(std::string_view b, std::size_t at) {
    return b.size() >= at + kWmfHeaderSize && (le16(b, at) == 1 || le16(b, at) == 2) &&
           le16(b, at + 2) == 9;
}

MetafileHeader readHeader(std::string_view b) {
    if (b.size() >= kEmfHeaderSize && le32(b, 0) == kEmfHeaderRecord &&
        le32(b, 40) == kEmfSignature) {
        // rclFrame: left, top, right, bottom in 0.01 mm
        const QSizeF frame(signed32(b, 32) - signed32(b, 24), signed32(b, 36) - signed32(b, 28));
        return {true, frame * (kScreenDpi / kHundredthsOfMmPerInch)};
    }
    if (b.size() >= 4 && le32(b, 0) == kPlaceableKey) {
        if (!isWmfHeader(b, kPlaceableHeaderSize))
            invalidMetafile();
        // Bounding box: left, top, right, bottom in units of which `inch` make an inch.
        const double inch = le16(b, 14);
        if (inch == 0)
            return {false, {}};
        const QSizeF box(std::abs(signed16(b, 10) - signed16(b, 6)),
                         std::abs(signed16(b, 12) - signed16(b, 8)));
        return {false, box * (kScreenDpi / inch)};
    }
    if (isWmfHeader(b, 0))
        return {false, {}};
    invalidMetafile();
}

// Whole pixels with the long side at most kMaxMetafileSide; empty for a size
// of less than half a pixel (or a negative one).
QSize naturalSize(QSizeF size) {
    if (!(size.width() >= 0.5 && size.height() >= 0.5))
        return {};
    const double longSide = std::max(size.width(), size.height());
    if (longSide > kMaxMetafileSide)
        size *= kMaxMetafileSide / longSide;
    return {std::max(1, static_cast<int>(std::lround(size.width()))),
            std::max(1, static_cast<int>(std::lround(size.height())))};
}

} // namespace

TMetafile::TMetafile() = default;
TMetafile::~TMetafile() = default;

const TGraphicClass& TMetafile::classInfo() {
    static const TGraphicClass info{"TMetafile", &TGraphic::classInfo(),
                                    [] { return std::make_unique<TMetafile>(); }};
    return info;
}

void TMetafile::draw(QPainter& painter, const QRect& rect) {
    if (renderer_)
        renderer_->render(&painter, QRectF(rect));
}

QImage TMetafile::image() {
    if (image_.isNull() && renderer_) {
        QImage picture = allocatePicture(size_.width(), size_.height(), QImage::Format_RGB32);
        // A metafile has no background of its own; white is what a fresh canvas has.
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer_->render(&painter, QRectF(QPointF(0, 0), QSizeF(size_)));
        painter.end();
        image_ = std::move(picture);
    }
    return image_;
}

void TMetafile::loadFromStream(std::istream& in) {
    loadFromBytes(
        std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

void TMetafile::loadFromBytes(const std::string& bytes) {
    const MetafileHeader header = readHeader(bytes);
    QByteArray svg = metafileToSvg(bytes, header.enhanced);
    auto renderer = std::make_unique<QSvgRenderer>(svg);
    if (!renderer->isValid())
        cannotRead();
    QSize size = naturalSize(header.size);
    if (size.isEmpty()) {
        const QSizeF svgSize = renderer->defaultSize().isEmpty() ? renderer->viewBoxF().size()
                                                                 : QSizeF(renderer->defaultSize());
        size = naturalSize(svgSize);
    }
    if (size.isEmpty())
        cannotRead();

    bytes_ = bytes;
    svg_ = std::move(svg);
    renderer_ = std::move(renderer);
    size_ = size;
    image_ = QImage();
    enhanced_ = header.enhanced;
}

void TMetafile::saveToStream(std::ostream& out) {
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
}

void TMetafile::assign(const TGraphic& source) {
    const auto* metafile = dynamic_cast<const TMetafile*>(&source);
    if (!metafile) {
        TGraphic::assign(source);
        return;
    }
    if (metafile == this)
        return;
    renderer_ = metafile->renderer_ ? std::make_unique<QSvgRenderer>(metafile->svg_) : nullptr;
    bytes_ = metafile->bytes_;
    svg_ = metafile->svg_;
    size_ = metafile->size_;
    image_ = metafile->image_;
    enhanced_ = metafile->enhanced_;
}

} // namespace kelvora

#include "jpeg/jpeg_image.h"

#include "base/errors.h"
#include "base/orientation.h"
#include "base/picture.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_encode.h"
#include "jpeg/jpeg_texts.h"

#include <algorithm>
#include <istream>
#include <ostream>

namespace kelvora {
namespace {
constexpr std::size_t kReadChunk = 64 * 1024;

int gDisplayDepth = 32; // bits per pixel x planes, as chooseDefaultPixelFormat was told

// What a display of 256 colours or fewer gets for 24-bit pictures: a 6 x 6 x 6 colour cube.
const QList<QRgb>& halftonePalette() {
    static const QList<QRgb> palette = [] {
        QList<QRgb> p;
        p.reserve(216);
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p.append(qRgb(r * 51, g * 51, b * 51));
        return p;
    }();
    return palette;
}

// Everything from the stream's position to its end, in one read when the stream
// can tell its size.
std::string readToEnd(std::istream& in) {
    std::string bytes;
    std::streambuf* buffer = in.rdbuf();
    if (!buffer)
        return bytes;
    const std::streampos start = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    if (start != std::streampos(-1)) {
        const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
        buffer->pubseekpos(start, std::ios::in);
        if (end != std::streampos(-1) && end > start)
            bytes.reserve(static_cast<std::size_t>(end - start));
    }
    for (;;) {
        const std::size_t used = bytes.size();
        const std::size_t room = std::max(bytes.capacity() - used, kReadChunk);
        bytes.resize(used + room);
        const std::streamsize got = buffer->sgetn(bytes.data() + used, std::streamsize(room));
        bytes.resize(used + static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
        if (got < std::streamsize(room))
            break;
    }
    in.setstate(std::ios::eofbit);
    return bytes;
}

[[noreturn]] void throwShortFormData() {
    throw EJPEG(JpegTexts::Text(JpegTexts::SDataEnds));
}
} // namespace

TJPEGDefaults& JPEGDefaults() {
    static TJPEGDefaults defaults;
    return defaults;
}

void chooseDefaultPixelFormat(int displayDepth) {
    gDisplayDepth = displayDepth;
    JPEGDefaults().pixelFormat =
        displayDepth <= 8 ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit;
}

const TGraphicClass& TJPEGImage::classInfo() {
    static const TGraphicClass info{"TJPEGImage", &TGraphic::classInfo(),
                                    [] { return std::make_unique<TJPEGImage>(); }};
    return info;
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()) {
    const TJPEGDefaults& d = JPEGDefaults();
    quality_ = d.compressionQuality;
    grayscaleSetting_ = d.grayscale;
    performance_ = d.performance;
    pixelFormat_ = d.pixelFormat;
    progressiveDisplay_ = d.progressiveDisplay;
    progressiveEncoding_ = d.progressiveEncoding;
    scale_ = d.scale;
    smoothing_ = d.smoothing;
}

TJPEGImage::~TJPEGImage() = default;

// --- Size and appearance -------------------------------------------------------

int TJPEGImage::width() const {
    if (bitmap_)
        return bitmap_->width();
    const QSize stored =
        scale_ == TJPEGScale::jsFullSize ? QSize(data_->width, data_->height) : scaledSize();
    return UprightSize(stored, data_->orientation).width();
}

int TJPEGImage::height() const {
    if (bitmap_)
        return bitmap_->height();
    const QSize stored =
        scale_ == TJPEGScale::jsFullSize ? QSize(data_->width, data_->height) : scaledSize();
    return UprightSize(stored, data_->orientation).height();
}

QSize TJPEGImage::scaledSize() const {
    if (data_->data.empty())
        return {0, 0};
    if (!scaledSize_.isValid() || scaledSizeScale_ != scale_) {
        try {
            scaledSize_ = jpegOutputSize(data_->data, scale_);
        } catch (const Exception&) {
            scaledSize_ = QSize(0, 0); // the header was read once already; this is not expected
        }
        scaledSizeScale_ = scale_;
    }
    return scaledSize_;
}

void TJPEGImage::setWidth(int) {
    throw EInvalidGraphicOperation(JpegTexts::Text(JpegTexts::SCannotResize));
}

void TJPEGImage::setHeight(int) {
    throw EInvalidGraphicOperation(JpegTexts::Text(JpegTexts::SCannotResize));
}

bool TJPEGImage::empty() const {
    return data_->data.empty() && (!bitmap_ || bitmap_->empty());
}

bool TJPEGImage::grayscale() const {
    return grayscaleSetting_ || data_->grayscale;
}

QList<QRgb> TJPEGImage::palette() const {
    if (pixelFormat_ == TJPEGPixelFormat::jf24Bit && gDisplayDepth <= 8)
        return halftonePalette();
    return bitmap_ ? bitmap_->palette() : QList<QRgb>();
}

void TJPEGImage::draw(QPainter& painter, const QRect& rect) {
    decode();
    if (bitmap_)
        bitmap_->draw(painter, rect);
}

QImage TJPEGImage::image() {
    decode();
    return bitmap_ ? bitmap_->qimage() : QImage();
}

void TJPEGImage::assignTo(TBitmap& target) {
    decode();
    if (bitmap_)
        target.assign(*bitmap_);
    else
        target.setImage(QImage());
}

// --- Data in and out -------------------------------------------------------------

void TJPEGImage::setData(std::shared_ptr<TJPEGData> data) {
    data_ = std::move(data);
    scaledSize_ = QSize();
}

void TJPEGImage::setBitmap(QImage picture) {
    auto bitmap = std::make_unique<TBitmap>();
    const TPixelFormat format =
        picture.format() == QImage::Format_Indexed8 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit;
    bitmap->setImage(std::move(picture), format);
    bitmap_ = std::move(bitmap);
}

void TJPEGImage::loadFromStream(std::istream& in) {
    loadFromBytes(readToEnd(in));
}

void TJPEGImage::loadFromBytes(std::string bytes) {
    auto data = std::make_shared<TJPEGData>();
    if (!bytes.empty()) {
        // Zero bytes have no header to read: they fail when first drawn.
        const JpegHeader header = readJpegHeader(bytes);
        data->width = header.width;
        data->height = header.height;
        data->grayscale = header.grayscale;
        data->progressive = header.progressive;
        data->orientation = header.orientation;
    }
    data->data = std::move(bytes);
    data->loaded = true;
    setData(std::move(data));
    bitmap_.reset();
}

void TJPEGImage::saveToStream(std::ostream& out) {
    if (data_->data.empty())
        compress();
    out.write(data_->data.data(), static_cast<std::streamsize>(data_->data.size()));
}

void TJPEGImage::writeData(std::ostream& out) {
    if (data_->data.empty() && bitmap_)
        compress();
    const auto size = static_cast<std::uint32_t>(data_->data.size());
    const char length[4] = {char(size & 0xFF), char((size >> 8) & 0xFF), char((size >> 16) & 0xFF),
                            char((size >> 24) & 0xFF)};
    out.write(length, sizeof length);
    out.write(data_->data.data(), static_cast<std::streamsize>(size));
}

void TJPEGImage::readData(std::istream& in) {
    unsigned char length[4];
    if (!in.read(reinterpret_cast<char*>(length), sizeof length))
        throwShortFormData();
    const std::uint32_t size = std::uint32_t(length[0]) | std::uint32_t(length[1]) << 8 |
                               std::uint32_t(length[2]) << 16 | std::uint32_t(length[3]) << 24;
    if (size == 0) {
        setData(std::make_shared<TJPEGData>());
        bitmap_.reset();
        return;
    }
    // Grown as the bytes arrive, so a corrupt length cannot claim gigabytes up front.
    std::string bytes;
    while (bytes.size() < size) {
        const std::size_t used = bytes.size();
        const std::size_t part = std::min<std::size_t>(size - used, kReadChunk * 16);
        bytes.resize(used + part);
        if (!in.read(bytes.data() + used, std::streamsize(part)))
            throwShortFormData();
    }
    loadFromBytes(std::move(bytes));
}

void TJPEGImage::assign(const TGraphic& source) {
    if (&source == this)
        return;
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        std::unique_ptr<TBitmap> copy;
        if (jpeg->bitmap_) {
            copy = std::make_unique<TBitmap>();
            copy->assign(*jpeg->bitmap_);
        }
        setData(jpeg->data_);
        bitmap_ = std::move(copy);
        return;
    }
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
        auto copy = std::make_unique<TBitmap>();
        copy->assign(*bitmap);
        setData(std::make_shared<TJPEGData>());
        bitmap_ = std::move(copy);
        return;
    }
    TGraphic::assign(source);
}

// --- Codec runs ----------------------------------------------------------------

void TJPEGImage::endProgressAfterError() {
    // The codec's error is what the caller must see, not one from this report.
    try {
        progress(TProgressStage::psEnding, 0, false, QRect());
    } catch (...) {
    }
}

void TJPEGImage::compress() {
    // A loaded picture is re-encoded from its pixels (at this object's settings).
    if (!bitmap_ && !data_->data.empty())
        decode();
    auto data = std::make_shared<TJPEGData>();
    setData(data);
    if (!bitmap_ || bitmap_->empty())
        return;
    const QImage picture = bitmap_->qimage(); // shared, not copied: a handler may replace bitmap_

    progress(TProgressStage::psStarting, 0, false, QRect());
    try {
        data->data = encodeJpeg(
            picture, {quality_, grayscaleSetting_, progressiveEncoding_},
            [this](int percent) { progress(TProgressStage::psRunning, percent, false, QRect()); });
    } catch (...) {
        endProgressAfterError();
        throw;
    }
    data->width = picture.width();
    data->height = picture.height();
    data->grayscale = grayscaleSetting_;
    data->progressive = progressiveEncoding_;
    progress(TProgressStage::psEnding, 100, false, QRect());
}

void TJPEGImage::decode() {
    if (bitmap_ || decoding_ || (data_->data.empty() && !data_->loaded))
        return;
    const std::shared_ptr<TJPEGData> data = data_; // keeps the bytes while handlers run
    JpegDecoder decoder(data->data, {grayscaleSetting_, performance_, pixelFormat_,
                                     progressiveDisplay_, scale_, smoothing_});
    int percent = 0;
    decoder.onProgress = [this, &percent](int p, const QRect& rows) {
        percent = p;
        progress(TProgressStage::psRunning, p, false, rows);
    };
    const int orientation = data->orientation;
    decoder.onPass = [this, &data, &percent, orientation](const QImage& pass) {
        const QImage picture = Upright(pass, orientation);
        if (data_ == data)
            setBitmap(picture);
        progress(TProgressStage::psRunning, percent, true, picture.rect());
    };

    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(decoding_);

    progress(TProgressStage::psStarting, 0, false, QRect());
    try {
        QImage picture = Upright(decoder.decode(), orientation);
        if (data_ == data)
            setBitmap(std::move(picture));
    } catch (...) {
        if (data_ == data) {
            if (decoder.aborted() && !decoder.partial().isNull())
                // A stop from a handler keeps what was decoded.
                setBitmap(Upright(decoder.partial(), orientation));
            else
                bitmap_.reset(); // no half pass of progressive display stays behind
        }
        endProgressAfterError();
        throw;
    }
    progress(TProgressStage::psEnding, 100, false, QRect());
}

// --- Registration ----------------------------------------------------------------

void registerJpegFormat() {
    const QString description = JpegTexts::Text(JpegTexts::SFormatName);
    TPicture::registerFileFormat("jpeg", description, TJPEGImage::classInfo());
    TPicture::registerFileFormat("jpg", description, TJPEGImage::classInfo());
}

void unregisterJpegFormat() {
    TPicture::unregisterGraphicClass(TJPEGImage::classInfo());
}

} // namespace kelvora

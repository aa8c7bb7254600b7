#include "thumbs/thumbnail_maker.h"

#include "base/base_texts.h"
#include "base/bitmap.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/orientation.h"
#include "base/picture.h"
#include "base/unique_fd.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_image.h"
#include "spi/spi_bitmap.h"
#include "thumbs/exif_thumbnail.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

// No JPEG worth a thumbnail is larger; a bigger file is not read into memory.
constexpr off_t kLargestJpegFile = off_t{1} << 30;

// The errors raised here only tell TThumbnailSource that no thumbnail came, and
// whether that was a stop; no window shows their texts.
void checkCancel(const std::atomic<bool>* cancelled) {
    if (cancelled && cancelled->load(std::memory_order_relaxed))
        throw EAbort(QStringLiteral("cancelled"));
}

// A JPEG file read from its start as far as it is needed: the embedded thumbnail
// of a camera's photo lies in its first bytes, and then the rest is never read.
class JpegFile {
public:
    explicit JpegFile(const std::string& path) : fd_(openDescriptorForReading(path)) {
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0 || st.st_size > kLargestJpegFile)
            throw EOutOfResources(BaseTexts::Text(BaseTexts::SOutOfMemory));
        size_ = static_cast<std::size_t>(st.st_size);
    }
    std::size_t size() const { return size_; }
    // The first `count` bytes, or all when the file is shorter.
    std::string_view head(std::size_t count) {
        fill(std::min(count, size_));
        return bytes_;
    }
    std::string_view whole() {
        fill(size_);
        return bytes_;
    }

private:
    void fill(std::size_t upTo) {
        std::size_t done = bytes_.size();
        if (done >= upTo)
            return;
        bytes_.resize(upTo);
        while (done < upTo) {
            const ssize_t n = ::read(fd_.get(), bytes_.data() + done, upTo - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        if (done < upTo) { // a file cut meanwhile decodes as far as it goes
            bytes_.resize(done);
            size_ = done;
        }
    }

    UniqueFd fd_;
    std::size_t size_ = 0;
    std::string bytes_;
};

QImage scaledTo(const QImage& picture, QSize size) {
    if (picture.size() == size)
        return picture;
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The stored picture scaled to the thumbnail, then turned upright: turning the
// small picture costs less than turning the large one.
QImage uprightThumbnail(const QImage& stored, int orientation, int side) {
    const QSize upright = FitInside(UprightSize(stored.size(), orientation), side);
    const QSize storedSize = SwapsSides(orientation) ? upright.transposed() : upright;
    return Upright(scaledTo(stored, storedSize), orientation);
}

// The smallest of libjpeg's reduced scales whose picture covers `needed`.
TJPEGScale coveringScale(const JpegHeader& header, QSize needed) {
    for (const TJPEGScale scale :
         {TJPEGScale::jsEighth, TJPEGScale::jsQuarter, TJPEGScale::jsHalf}) {
        const int denominator = 1 << static_cast<int>(scale);
        // libjpeg rounds reduced sides up
        const int w = (header.width + denominator - 1) / denominator;
        const int h = (header.height + denominator - 1) / denominator;
        if (w >= needed.width() && h >= needed.height())
            return scale;
    }
    return TJPEGScale::jsFullSize;
}

QImage decodeJpeg(std::string_view bytes, const JpegHeader& header, int side,
                  const std::atomic<bool>* cancelled) {
    const QSize upright =
        FitInside(UprightSize({header.width, header.height}, header.orientation), side);
    const QSize needed = SwapsSides(header.orientation) ? upright.transposed() : upright;
    JpegDecodeSettings settings;
    settings.performance = TJPEGPerformance::jpBestSpeed;
    settings.smoothing = false;
    settings.fourBytePixels = true; // what Qt scales without converting first
    settings.scale = coveringScale(header, needed);
    JpegDecoder decoder(bytes, settings);
    decoder.onProgress = [cancelled](int, const QRect&) { checkCancel(cancelled); };
    return decoder.decode();
}

// Cameras' Exif thumbnails are 160 x 120 whatever the photo's proportions, with
// black bars when they differ: one of other proportions is not the photo.
bool sameProportions(QSize a, QSize b) {
    const long long cross1 = static_cast<long long>(a.width()) * b.height();
    const long long cross2 = static_cast<long long>(b.width()) * a.height();
    return std::llabs(cross1 - cross2) * 50 <= std::max(cross1, cross2);
}

// The thumbnail from the one the camera embedded, when that is large enough.
std::optional<TMadeThumbnail> fromExifThumbnail(std::string_view bytes, const JpegHeader& header,
                                                int side, const std::atomic<bool>* cancelled) {
    checkPictureSize(header.width, header.height);
    const QSize original = UprightSize({header.width, header.height}, header.orientation);
    const QSize target = FitInside(original, side);
    const std::optional<std::string> exif = ExifThumbnail(bytes);
    if (!exif)
        return std::nullopt;
    try {
        JpegHeader small = readJpegHeader(*exif);
        if (std::max(small.width, small.height) < std::max(target.width(), target.height()) ||
            !sameProportions({small.width, small.height}, {header.width, header.height}))
            return std::nullopt;
        small.orientation = header.orientation; // the photo's is the thumbnail's too
        const QImage picture = decodeJpeg(*exif, small, side, cancelled);
        return TMadeThumbnail{uprightThumbnail(picture, header.orientation, side), original};
    } catch (const EAbort&) {
        throw;
    } catch (const Exception&) {
        return std::nullopt; // a damaged Exif thumbnail: the photo itself is decoded
    }
}

TMadeThumbnail makeJpegThumbnail(const std::string& path, int side,
                                 const std::atomic<bool>* cancelled) {
    // Exif data is at most 64 KiB, and comes before the picture's own header.
    constexpr std::size_t kHeadBytes = 256u << 10;
    JpegFile file(path);
    bool exifTried = false;
    if (file.size() > kHeadBytes) {
        try {
            const std::string_view head = file.head(kHeadBytes);
            const JpegHeader header = readJpegHeader(head);
            exifTried = true;
            if (std::optional<TMadeThumbnail> made =
                    fromExifThumbnail(head, header, side, cancelled))
                return std::move(*made);
        } catch (const EJPEG&) {
            // The header goes on beyond the first bytes: read with the rest below.
        }
    }
    checkCancel(cancelled);
    const std::string_view bytes = file.whole();
    const JpegHeader header = readJpegHeader(bytes);
    if (!exifTried)
        if (std::optional<TMadeThumbnail> made = fromExifThumbnail(bytes, header, side, cancelled))
            return std::move(*made);
    checkPictureSize(header.width, header.height);
    const QImage picture = decodeJpeg(bytes, header, side, cancelled);
    checkCancel(cancelled);
    return {uprightThumbnail(picture, header.orientation, side),
            UprightSize({header.width, header.height}, header.orientation)};
}

// What TSPIBitmap turns to when no plug-in decodes the file: the bitmap reader.
QImage loadAsBitmap(const std::string& path) {
    TBitmap bitmap;
    bitmap.loadFromFile(path);
    return bitmap.image();
}

QImage takePicture(TSPIGraphic& graphic) {
    QImage picture = graphic.DirectImage(true); // the bits block itself, when it can be
    return picture.isNull() ? graphic.image() : picture;
}

TMadeThumbnail makePluginThumbnail(const std::string& path, int side,
                                   const std::atomic<bool>* cancelled) {
    TSPIGraphic graphic;
    graphic.onProgress = [cancelled](TGraphic&, TProgressStage, int, bool, const QRect&,
                                     const QString&) { checkCancel(cancelled); };
    graphic.PreviewWanted = true;
    try {
        graphic.loadFromFile(path);
    } catch (const EAbort&) {
        throw;
    } catch (const EFOpenError&) {
        throw;
    } catch (const Exception&) {
        checkCancel(cancelled);
        QImage picture = loadAsBitmap(path);
        checkCancel(cancelled);
        return {scaledTo(picture, FitInside(picture.size(), side)), picture.size()};
    }
    checkCancel(cancelled);
    // Read before the picture takes the bits over, which empties the graphic.
    const PictureInfo info = graphic.Data()->PicInfo;
    const bool fromPreview = graphic.Data()->FromPreview;
    const QSize full(info.width, info.height);
    QImage picture = takePicture(graphic);
    if (fromPreview) {
        // A preview smaller than the thumbnail would be: the picture itself is decoded.
        const int wanted = std::min(
            side, full.isValid() && !full.isEmpty() ? std::max(full.width(), full.height()) : side);
        if (std::max(picture.width(), picture.height()) < wanted) {
            picture = QImage();
            graphic.PreviewWanted = false;
            graphic.loadFromFile(path);
            checkCancel(cancelled);
            picture = takePicture(graphic);
        }
    }
    if (picture.isNull())
        throw EInvalidGraphic(QStringLiteral("no picture"));
    const QSize original = full.isValid() && !full.isEmpty() ? full : picture.size();
    return {scaledTo(picture, FitInside(picture.size(), side)), original};
}

TMadeThumbnail makeLoaderThumbnail(const std::string& path, int side) {
    TPicture loaded;
    loaded.loadFromFile(path);
    const QImage picture = loaded.graphic()->image();
    if (picture.isNull())
        throw EInvalidGraphic(QStringLiteral("no picture"));
    return {scaledTo(picture, FitInside(picture.size(), side)), picture.size()};
}

} // namespace

TThumbnailDecoder ThumbnailDecoderFor(const std::string& path, bool withPlugins) {
    const TGraphicClass* graphicClass = TPicture::classForExtension(lowerExtension(path));
    if (!graphicClass)
        return TThumbnailDecoder::None;
    if (graphicClass == &TJPEGImage::classInfo())
        return TThumbnailDecoder::Jpeg;
    if (graphicClass->inheritsFrom(TSPIBitmap::classInfo()))
        return withPlugins ? TThumbnailDecoder::Plugin : TThumbnailDecoder::None;
    return TThumbnailDecoder::Loader;
}

QSize FitInside(QSize picture, int side) {
    if (picture.width() < 1 || picture.height() < 1)
        return {};
    if (picture.width() <= side && picture.height() <= side)
        return picture;
    const long long w = picture.width();
    const long long h = picture.height();
    if (w >= h)
        return {side, static_cast<int>(std::max<long long>(1, (h * side + w / 2) / w))};
    return {static_cast<int>(std::max<long long>(1, (w * side + h / 2) / h)), side};
}

TMadeThumbnail MakeThumbnail(const std::string& path, TThumbnailDecoder decoder, int side,
                             const std::atomic<bool>* cancelled) {
    checkCancel(cancelled);
    switch (decoder) {
    case TThumbnailDecoder::Jpeg:
        return makeJpegThumbnail(path, side, cancelled);
    case TThumbnailDecoder::Plugin:
        return makePluginThumbnail(path, side, cancelled);
    case TThumbnailDecoder::Loader:
        return makeLoaderThumbnail(path, side);
    case TThumbnailDecoder::None:
        break;
    }
    throw EInvalidGraphic(QStringLiteral("no picture"));
}

} // namespace kelvora

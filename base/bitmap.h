#pragma once
// The device-independent raster: the common currency between decoders, the
// scaler and the encoders. Pixels live in a QImage whose format follows the
// pixel format:
//   pf1bit  -> Format_Mono        pf4bit, pf8bit -> Format_Indexed8 (with palette)
//   pf15bit, pf16bit, pf24bit -> Format_BGR888 (blue, green, red: the row order
//              encoders take; 16-bit files keep pf16bit, widened to 8 bits a channel)
//   pf32bit -> Format_RGB32 or Format_ARGB32 (when the source has alpha)
//
// Bitmap files are decoded by base/bmp_codec; anything else in a .bmp file
// (a PNG or JPEG under the wrong extension) decodes by its content through Qt.

#include "base/graphic.h"

namespace kelvora {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// Decoded pictures larger than this are refused before anything is allocated:
// 2^28 pixels (268 megapixels, 768 MiB at 24 bits).
inline constexpr long long kMaxPicturePixels = 1LL << 28;
// Raises EOutOfResources when w x h exceeds kMaxPicturePixels or a side is negative.
void checkPictureSize(long long width, long long height);
// checkPictureSize, then a width x height image; EOutOfResources when the memory
// is not there. A zero side gives a null image.
QImage allocatePicture(int width, int height, QImage::Format format);
// Qt's image readers refuse pictures above a process-wide allocation limit that
// is lower than kMaxPicturePixels at 32 bits; this raises it so that every
// picture we accept can be read. Call before reading with QImageReader.
void allowPictureAllocations();

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    void setWidth(int width) override { setSize(width, height()); }
    void setHeight(int height) override { setSize(width(), height); }
    void setSize(int width, int height);
    bool empty() const override {
        return image_.isNull() || image_.width() == 0 || image_.height() == 0;
    }

    TPixelFormat pixelFormat() const { return format_; }
    // Converts the pixels (palettes of 1, 4 and 8 bits are kept or quantised by Qt).
    void setPixelFormat(TPixelFormat format);

    void draw(QPainter& painter, const QRect& rect) override;
    QImage image() override { return image_; }
    const QImage& qimage() const { return image_; }
    QImage& qimage() { return image_; }
    // Takes the pixels; the pixel format is derived from the image's format
    // (24-bit images in other byte orders are converted to blue, green, red).
    void setImage(QImage image);
    void setImage(QImage image, TPixelFormat format);

    QList<QRgb> palette() const override { return image_.colorTable(); }
    void setPalette(const QList<QRgb>& colors);

    void loadFromStream(std::istream& in) override;
    // Writes a bitmap file in the depth of the pixel format (see encodeBmp).
    void saveToStream(std::ostream& out) override;
    // Loads a whole file already in memory: a bitmap file by its header, any other
    // picture Qt knows by its content. EInvalidGraphic "ビットマップ画像が不正です"
    // when neither decodes; the bitmap keeps its picture then.
    virtual void loadFromBytes(const std::string& bytes);
    void assign(const TGraphic& source) override;

private:
    QImage image_;
    TPixelFormat format_ = TPixelFormat::pf24bit;
};

QImage::Format qimageFormatFor(TPixelFormat format);

} // namespace kelvora

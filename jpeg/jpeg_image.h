#pragma once
// TJPEGImage: the picture class through which the program reads and writes JPEG,
// over libjpeg-turbo. Loading keeps the compressed bytes and reads only the
// header; the picture is decoded when it is first drawn or its pixels are needed.

#include "base/bitmap.h"
#include "base/graphic.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kelvora {

enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

// The compressed data, shared between JPEG objects assigned from one another.
struct TJPEGData {
    std::string data; // the JPEG byte stream; empty when absent
    int width = 0;
    int height = 0;
    bool grayscale = false;
    bool progressive = false;
    // Exif orientation: the decoded picture is turned upright, and width and height
    // are the upright picture's.
    int orientation = 1;
    // Bytes were loaded, possibly none: drawing then decodes (and zero bytes fail there).
    bool loaded = false;
};

// Settings every new object starts with.
struct TJPEGDefaults {
    std::uint8_t compressionQuality = 90;
    bool grayscale = false;
    TJPEGPerformance performance = TJPEGPerformance::jpBestQuality;
    TJPEGPixelFormat pixelFormat = TJPEGPixelFormat::jf24Bit;
    bool progressiveDisplay = false;
    bool progressiveEncoding = false;
    TJPEGScale scale = TJPEGScale::jsFullSize;
    bool smoothing = true;
};
// Process-wide; chooseDefaultPixelFormat() picks 8-bit output for displays of 8 bits or fewer.
TJPEGDefaults& JPEGDefaults();
void chooseDefaultPixelFormat(int displayDepth);

// Decoding limits that keep a hostile file from taking the program down.
// Pictures above kMaxPicturePixels (base/bitmap.h) are refused before decoding.
inline constexpr long kJpegMaxMemory = 2L << 30; // libjpeg's own working memory
inline constexpr int kJpegMaxScans = 1000;       // progressive scans per file

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    int width() const override;
    int height() const override;
    // Always raise EInvalidGraphicOperation "JPEG イメージのサイズは変更できません".
    void setWidth(int width) override;
    void setHeight(int height) override;
    bool empty() const override;

    void draw(QPainter& painter, const QRect& rect) override;
    QImage image() override;
    QList<QRgb> palette() const override;

    // Reads every byte to the end of the stream; only the header is parsed.
    void loadFromStream(std::istream& in) override;
    void loadFromBytes(std::string bytes);
    // Compresses first when there is no compressed data; writes the compressed bytes.
    void saveToStream(std::ostream& out) override;
    void assign(const TGraphic& source) override;
    // Copies the decoded picture into a bitmap (decoding first if needed).
    void assignTo(TBitmap& target);

    void compress();
    // Decodes now if not yet decoded (normally done on first draw).
    void decode();

    // Form streaming: 4-byte little-endian length, then the compressed bytes.
    void writeData(std::ostream& out);
    void readData(std::istream& in);

    // Settings (one byte each; the quality goes to the codec unchecked, >100 acts as 100).
    std::uint8_t compressionQuality() const { return quality_; }
    void setCompressionQuality(std::uint8_t quality) { quality_ = quality; }
    bool grayscale() const;
    void setGrayscale(bool on) { grayscaleSetting_ = on; }
    TJPEGPerformance performance() const { return performance_; }
    void setPerformance(TJPEGPerformance p) { performance_ = p; }
    TJPEGPixelFormat pixelFormat() const { return pixelFormat_; }
    void setPixelFormat(TJPEGPixelFormat f) { pixelFormat_ = f; }
    bool progressiveDisplay() const { return progressiveDisplay_; }
    void setProgressiveDisplay(bool on) { progressiveDisplay_ = on; }
    bool progressiveEncoding() const { return progressiveEncoding_; }
    void setProgressiveEncoding(bool on) { progressiveEncoding_ = on; }
    TJPEGScale scale() const { return scale_; }
    void setScale(TJPEGScale s) { scale_ = s; }
    bool smoothing() const { return smoothing_; }
    void setSmoothing(bool on) { smoothing_ = on; }

    // Inspection
    bool hasBitmap() const { return bitmap_ != nullptr; }
    const TBitmap* bitmap() const { return bitmap_.get(); }
    const std::shared_ptr<TJPEGData>& data() const { return data_; }

private:
    void setData(std::shared_ptr<TJPEGData> data);
    void setBitmap(QImage picture);
    QSize scaledSize() const;
    void endProgressAfterError();

    std::shared_ptr<TJPEGData> data_;
    std::unique_ptr<TBitmap> bitmap_;
    std::uint8_t quality_;
    bool grayscaleSetting_;
    TJPEGPerformance performance_;
    TJPEGPixelFormat pixelFormat_;
    bool progressiveDisplay_;
    bool progressiveEncoding_;
    TJPEGScale scale_;
    bool smoothing_;
    bool decoding_ = false; // a progress handler that draws must not start a second decode
    // Output size at a reduced scale, worked out from the header once per data and scale.
    mutable QSize scaledSize_;
    mutable TJPEGScale scaledSizeScale_ = TJPEGScale::jsFullSize;
};

// Registers "jpeg" and "jpg" with the picture loader ("JPEG イメージファイル").
void registerJpegFormat();
void unregisterJpegFormat();

} // namespace kelvora

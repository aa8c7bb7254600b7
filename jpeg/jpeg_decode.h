#pragma once
// Decoding a JPEG byte stream into the bitmap's pixel layout: 24-bit blue,
// green, red rows, or 8-bit indexed rows with a grey or quantised palette.

#include "jpeg/jpeg_image.h"

#include <QImage>
#include <QRect>
#include <functional>
#include <string_view>
#include <vector>

namespace kelvora {
namespace jpegcodec {
class Decompressor;
}

struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;   // the file's colour space is grey-scale
    bool progressive = false; // the file has several scans
};
// Reads only the header; EJPEG when the bytes are not a JPEG stream.
JpegHeader readJpegHeader(std::string_view data);
// The size a decode at this scale gives, from the header alone.
QSize jpegOutputSize(std::string_view data, TJPEGScale scale);

struct JpegDecodeSettings {
    bool grayscale = false;
    TJPEGPerformance performance = TJPEGPerformance::jpBestQuality;
    TJPEGPixelFormat pixelFormat = TJPEGPixelFormat::jf24Bit;
    bool progressiveDisplay = false;
    TJPEGScale scale = TJPEGScale::jsFullSize;
    bool smoothing = true;
};

class JpegDecoder {
public:
    // data must outlive the decoder.
    JpegDecoder(std::string_view data, const JpegDecodeSettings& settings);

    // Percent done and the rows decoded since the last report. May throw to stop.
    std::function<void(int percent, const QRect& rows)> onProgress;
    // Progressive display: the picture after every pass but the last. May throw to stop.
    std::function<void(const QImage& picture)> onPass;

    // Format_BGR888, or Format_Indexed8 with its palette. Pictures above
    // kMaxPicturePixels raise EOutOfResources before their pixels are allocated.
    QImage decode();

    // After decode() threw: whether a progress handler stopped it, and the picture
    // as far as it was decoded (rows not reached yet are black).
    bool aborted() const { return aborted_; }
    const QImage& partial() const { return image_; }

private:
    enum class Output { Bgr, Grey, Quantised, Cmyk };
    void run(jpegcodec::Decompressor& codec);
    void readRows(jpegcodec::Decompressor& codec);
    void report(int percent, int row);
    void blankRowsNotReached();

    std::string_view data_;
    JpegDecodeSettings settings_;
    Output output_ = Output::Bgr;
    bool cmykToGrey_ = false; // CMYK source, grey-scale output
    bool adobeCmyk_ = false;  // Adobe applications store CMYK inverted
    QImage image_;
    std::vector<unsigned char> cmykRows_;
    int reportedRow_ = 0;
    int rowsReached_ = 0; // rows that hold decoded pixels
    bool aborted_ = false;
};

} // namespace kelvora

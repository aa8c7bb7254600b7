#pragma once
// Decoding a JPEG byte stream into the bitmap's pixel layout: 24-bit blue,
// green, red rows, or 8-bit indexed rows with a grey or quantised palette.

#include "jpeg/jpeg_image.h"

#include <QImage>
#include <QRect>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace kelvora {
namespace jpegcodec {
class Decompressor;

// How libjpeg's rows become the picture's, chosen from the file and the settings.
enum class Output { Bgr, Grey, Quantised, Cmyk };
struct OutputPlan {
    Output output = Output::Bgr;
    bool cmykToGrey = false; // CMYK source, grey-scale output
    bool adobeCmyk = false;  // Adobe applications store CMYK inverted
    int colourBytes = 3;     // bytes of a colour pixel: 3, or 4 with an opaque alpha byte
    bool indexed() const {
        return output == Output::Grey || output == Output::Quantised || cmykToGrey;
    }
};
} // namespace jpegcodec

struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;   // the file's colour space is grey-scale
    bool progressive = false; // the file has several scans
    int orientation = 1;      // Exif: how the stored picture is turned upright
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
    // Colour pictures as Format_RGB32 (4 bytes a pixel, alpha 255) instead of
    // Format_BGR888: for callers that scale with Qt, which would convert them.
    // Decoders only; the row reader refuses it.
    bool fourBytePixels = false;
};

class JpegDecoder {
public:
    // data must outlive the decoder.
    JpegDecoder(std::string_view data, const JpegDecodeSettings& settings);

    // Percent done and the rows decoded since the last report. May throw to stop.
    std::function<void(int percent, const QRect& rows)> onProgress;
    // Progressive display: the picture after every pass but the last. May throw to stop.
    std::function<void(const QImage& picture)> onPass;

    // Format_BGR888 (Format_RGB32 with fourBytePixels), or Format_Indexed8 with its
    // palette. Pictures above
    // kMaxPicturePixels raise EOutOfResources before their pixels are allocated.
    QImage decode();

    // After decode() threw: whether a progress handler stopped it, and the picture
    // as far as it was decoded (rows not reached yet are black).
    bool aborted() const { return aborted_; }
    const QImage& partial() const { return image_; }

private:
    void run(jpegcodec::Decompressor& codec);
    void readRows(jpegcodec::Decompressor& codec);
    void report(int percent, int row);
    void blankRowsNotReached();

    std::string_view data_;
    JpegDecodeSettings settings_;
    jpegcodec::OutputPlan plan_;
    QImage image_;
    std::vector<unsigned char> cmykRows_;
    int reportedRow_ = 0;
    int rowsReached_ = 0; // rows that hold decoded pixels
    bool aborted_ = false;
};

// A JPEG file decoded row by row, top to bottom, without holding the picture: for
// callers that reduce it as it arrives. The rows are those JpegDecoder gives for
// the same settings; 8-bit quantised output, the settings' reduced scales and
// pass-by-pass display are not offered (canRead() tells), though setScale()
// reduces in eighths. The file is read from its current
// position through the descriptor, which must stay open.
class JpegRowReader {
public:
    JpegRowReader(int fd, const JpegDecodeSettings& settings); // reads the header
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    static bool canRead(const JpegDecodeSettings& settings);

    const JpegHeader& header() const { return header_; }
    // Before start(): decode at eighths / 8 of the size (1 to 8), libjpeg's own
    // reduction inside the inverse DCT, for callers that reduce the picture anyway.
    void setScale(int eighths);
    // Before start(): the size of the rows it will give.
    QSize outputSize();
    // Bytes per row pixel: 3 (blue, green, red) or 1 (grey).
    int bytesPerPixel() const { return plan_.indexed() ? 1 : 3; }
    // What libjpeg will hold while decoding: whole-picture coefficients for
    // progressive files, a few rows of blocks otherwise.
    std::size_t workingMemory() const;

    // Starts decoding; pictures above kMaxPicturePixels raise EOutOfResources.
    void start();
    // Up to `max` further rows (at most 16); the pointers stay valid until the next
    // call. 0 at the end of the picture.
    int read(const unsigned char** rows, int max);
    void finish();

private:
    std::unique_ptr<jpegcodec::Decompressor> codec_;
    JpegHeader header_;
    jpegcodec::OutputPlan plan_;
    std::vector<unsigned char> rows_;    // 16 rows as handed out
    std::vector<unsigned char> libRows_; // CMYK rows before conversion
};

} // namespace kelvora

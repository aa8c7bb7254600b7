#pragma once
// Encoding a picture as a baseline (or progressive) JFIF stream.

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {
namespace jpegcodec {
class Compressor;
}

struct JpegEncodeSettings {
    std::uint8_t quality = 90; // handed to libjpeg as it is: above 100 acts as 100
    bool grayscale = false;
    bool progressive = false;
    // Colour at every pixel (4:4:4) instead of at every second one across and down
    // (4:2:0, libjpeg's default): for small pictures whose colours change from
    // pixel to pixel.
    bool fullChroma = false;
};

// Encodes a non-empty picture. 24-bit blue, green, red and 32-bit pictures are
// read in place; others are converted to 24 bits a few rows at a time. onProgress gets the
// percent done (at most every 500 ms) and may throw to stop the encoding.
std::string encodeJpeg(const QImage& picture, const JpegEncodeSettings& settings,
                       const std::function<void(int percent)>& onProgress = {});

// Encodes a picture handed over row by row, top to bottom, each row 24-bit blue,
// green, red: the same stream encodeJpeg gives for that picture, without the
// picture ever being held. The bytes go to the sink in blocks; an exception from
// the sink stops the encoding and comes out of the call that fed it.
class JpegRowEncoder {
public:
    using Sink = std::function<void(const char* bytes, std::size_t size)>;
    JpegRowEncoder(int width, int height, const JpegEncodeSettings& settings, Sink sink);
    ~JpegRowEncoder();
    JpegRowEncoder(const JpegRowEncoder&) = delete;
    JpegRowEncoder& operator=(const JpegRowEncoder&) = delete;

    // Where the next row goes (width x 3 bytes); rowDone() when it is filled.
    unsigned char* nextRow();
    void rowDone();
    // After the last row.
    void finish();

private:
    void flush();

    std::unique_ptr<jpegcodec::Compressor> codec_;
    std::size_t stride_;
    std::vector<unsigned char> rows_; // rows waiting for the codec
    int filled_ = 0;
};

} // namespace kelvora

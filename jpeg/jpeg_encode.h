#pragma once
// Encoding a picture as a baseline (or progressive) JFIF stream.

#include <QImage>
#include <cstdint>
#include <functional>
#include <string>

namespace kelvora {

struct JpegEncodeSettings {
    std::uint8_t quality = 90; // handed to libjpeg as it is: above 100 acts as 100
    bool grayscale = false;
    bool progressive = false;
};

// Encodes a non-empty picture. 24-bit blue, green, red and 32-bit pictures are
// read in place; others are converted to 24 bits once. onProgress gets the
// percent done (at most every 500 ms) and may throw to stop the encoding.
std::string encodeJpeg(const QImage& picture, const JpegEncodeSettings& settings,
                       const std::function<void(int percent)>& onProgress = {});

} // namespace kelvora

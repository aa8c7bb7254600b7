#pragma once
// JPEG streams for the tests: written by our encoder, by Qt's own writer, or
// straight through libjpeg for the variants neither of those writes (CMYK).
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

// Our encoder at the given quality (the object's default when quality < 0).
std::string encodeWithJpegImage(const QImage& picture, int quality = -1, bool grayscale = false,
                                bool progressive = false);
// Qt's JPEG writer (baseline), an encoder independent of ours.
std::string encodeWithQt(const QImage& picture, int quality = 90);
// Qt's JPEG reader.
QImage decodeWithQt(const std::string& jpeg);

// A w x h CMYK JPEG of one colour; with the Adobe marker the values are stored
// inverted (255 = no ink), as Adobe applications do, otherwise as plain ink.
std::string cmykJpeg(int w, int h, int c, int m, int y, int k, bool adobe);

// A w x h progressive colour JPEG with more than `scans` scans (valid: successive
// approximation of every coefficient, one bit per scan).
std::string manyScanJpeg(int w, int h, int scans);

struct Marker {
    std::uint8_t code;  // the byte after 0xFF
    std::size_t offset; // of the 0xFF
    std::size_t length; // segment length field (0 for SOI)
};
// The markers from SOI up to and including the first SOS.
std::vector<Marker> headerMarkers(const std::string& jpeg);
bool hasMarker(const std::string& jpeg, std::uint8_t code);
// Rewrites the frame header's size.
std::string withFrameSize(std::string jpeg, int width, int height);

// A w x h 24-bit picture of smooth gradients (red across, green down, blue
// diagonal): what JPEG keeps well, so round-trip errors mean a real fault.
QImage smoothPicture(int w, int h);

// Mean of |a - b| over all colour channels; both pictures the same size.
double meanAbsError(const QImage& a, const QImage& b);

} // namespace kelvora::test

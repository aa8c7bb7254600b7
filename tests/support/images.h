#pragma once
// Real pictures made by tests: a colourful pattern that survives scaling checks,
// written with Qt's own image writers (an encoder independent of ours).
#include <QImage>
#include <string>
#include <vector>

namespace kelvora::test {

// A w x h 24-bit picture whose pixel (x, y) has red x*255/(w-1) and green y*255/(h-1),
// so the source position of any scaled pixel can be read back from its colour.
QImage patternImage(int w, int h);
// A w x h 24-bit picture with what photographs have: smooth light, fine texture
// and sharp edges, different for every seed.
QImage photoLike(int w, int h, unsigned seed);
// The picture encoded by libjpeg-turbo's own cjpeg with the given options
// ("-sample", "2x1", "-progressive", "-grayscale", ...): an encoder that is not ours.
std::string encodeWithCjpeg(const QImage& image, const std::vector<std::string>& options);
// The JPEG stream with an Exif segment that records the orientation (1 to 8).
std::string withExifOrientation(const std::string& jpeg, int orientation);

// Peak signal-to-noise ratio in dB over the red, green and blue of two pictures
// of one size (100 for equal pictures, 0 for different sizes).
double psnr(const QImage& a, const QImage& b);

// ImageMagick's `convert -filter Lanczos -resize WxH!` of the picture (through PNG
// files in folder), as Format_BGR888; a null picture when convert fails.
QImage magickLanczos(const QImage& picture, QSize size, const std::string& folder);

// Writes the picture with Qt's writer for the format ("bmp", "png", "jpg") and returns the path.
std::string saveImage(const QImage& image, const std::string& path, const char* format,
                      int quality = -1);

} // namespace kelvora::test

#pragma once
// Real pictures made by tests: a colourful pattern that survives scaling checks,
// written with Qt's own image writers (an encoder independent of ours).
#include <QImage>
#include <string>

namespace kelvora::test {

// A w x h 24-bit picture whose pixel (x, y) has red x*255/(w-1) and green y*255/(h-1),
// so the source position of any scaled pixel can be read back from its colour.
QImage patternImage(int w, int h);
// Writes the picture with Qt's writer for the format ("bmp", "png", "jpg") and returns the path.
std::string saveImage(const QImage& image, const std::string& path, const char* format,
                      int quality = -1);

} // namespace kelvora::test

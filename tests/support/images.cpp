#include "tests/support/images.h"

#include <QImageWriter>
#include <filesystem>
#include <stdexcept>

namespace kelvora::test {

QImage patternImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<uchar>(w > 1 ? x * 255 / (w - 1) : 0);
            row[3 * x + 1] = static_cast<uchar>(h > 1 ? y * 255 / (h - 1) : 0);
            row[3 * x + 2] = static_cast<uchar>((x + y) % 2 ? 200 : 40);
        }
    }
    return image;
}

std::string saveImage(const QImage& image, const std::string& path, const char* format,
                      int quality) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImageWriter writer(QString::fromStdString(path), format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        throw std::runtime_error("cannot write test image " + path + ": " +
                                 writer.errorString().toStdString());
    return path;
}

} // namespace kelvora::test

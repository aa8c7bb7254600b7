#include "tests/support/images.h"

#include <QImageWriter>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdint>
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

QImage photoLike(int w, int h, unsigned seed) {
    QImage image(w, h, QImage::Format_RGB888);
    std::uint32_t state = seed * 2654435761u + 1;
    const auto noise = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % 41) - 20;
    };
    const int cx = static_cast<int>(seed * 37 % static_cast<unsigned>(std::max(w, 1)));
    const int cy = static_cast<int>(seed * 53 % static_cast<unsigned>(std::max(h, 1)));
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < (w * h) / 16;
            const int light = 60 + 120 * x / std::max(1, w) + 60 * y / std::max(1, h);
            const int base[3] = {inside ? 220 : light, inside ? 60 : light - 30,
                                 inside ? 40 : 255 - light};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uchar>(std::clamp(base[c] + noise(), 0, 255));
        }
    }
    return image;
}

std::string encodeWithCjpeg(const QImage& image, const std::vector<std::string>& options) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QByteArray ppm = QByteArray("P6\n") + QByteArray::number(rgb.width()) + ' ' +
                     QByteArray::number(rgb.height()) + "\n255\n";
    for (int y = 0; y < rgb.height(); ++y)
        ppm.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    QStringList args;
    for (const std::string& o : options)
        args << QString::fromStdString(o);
    QProcess cjpeg;
    cjpeg.start(QStringLiteral("cjpeg"), args);
    cjpeg.write(ppm);
    cjpeg.closeWriteChannel();
    if (!cjpeg.waitForFinished(60000) || cjpeg.exitCode() != 0)
        throw std::runtime_error("cjpeg failed: " + cjpeg.readAllStandardError().toStdString());
    return cjpeg.readAllStandardOutput().toStdString();
}

std::string withExifOrientation(const std::string& jpeg, int orientation) {
    // "Exif\0\0", a little-endian TIFF header, one IFD with the orientation tag.
    const unsigned char tiff[] = {'E',
                                  'x',
                                  'i',
                                  'f',
                                  0,
                                  0, //
                                  'I',
                                  'I',
                                  42,
                                  0,
                                  8,
                                  0,
                                  0,
                                  0, //
                                  1,
                                  0, // one entry
                                  0x12,
                                  0x01,
                                  3,
                                  0,
                                  1,
                                  0,
                                  0,
                                  0, // SHORT x 1
                                  static_cast<unsigned char>(orientation),
                                  0,
                                  0,
                                  0, //
                                  0,
                                  0,
                                  0,
                                  0}; // no next IFD
    const std::size_t length = sizeof tiff + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment.append(reinterpret_cast<const char*>(tiff), sizeof tiff);
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
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

double psnr(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int d[] = {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]),
                             qBlue(p[col]) - qBlue(q[col])};
            for (const int e : d)
                sum += e * e;
        }
    }
    if (sum == 0)
        return 100;
    const double mse = sum / (3.0 * x.width() * x.height());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

QImage magickLanczos(const QImage& picture, QSize size, const std::string& folder) {
    const std::string in = saveImage(picture, folder + "/lanczos-in.png", "png");
    const std::string out = folder + "/lanczos-out.png";
    QProcess convert;
    convert.start(QStringLiteral("convert"),
                  {QString::fromStdString(in), QStringLiteral("-filter"), QStringLiteral("Lanczos"),
                   QStringLiteral("-resize"),
                   QStringLiteral("%1x%2!").arg(size.width()).arg(size.height()),
                   QString::fromStdString(out)});
    if (!convert.waitForFinished(60000) || convert.exitStatus() != QProcess::NormalExit ||
        convert.exitCode() != 0)
        return {};
    return QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_BGR888);
}

} // namespace kelvora::test

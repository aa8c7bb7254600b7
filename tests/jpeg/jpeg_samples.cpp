#include "tests/jpeg/jpeg_samples.h"

#include "base/bitmap.h"
#include "jpeg/jpeg_image.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace kelvora::test {

std::string encodeWithJpegImage(const QImage& picture, int quality, bool grayscale,
                                bool progressive) {
    TBitmap bitmap;
    bitmap.setImage(picture);
    TJPEGImage jpeg;
    jpeg.assign(bitmap);
    if (quality >= 0)
        jpeg.setCompressionQuality(static_cast<std::uint8_t>(quality));
    jpeg.setGrayscale(grayscale);
    jpeg.setProgressiveEncoding(progressive);
    jpeg.compress();
    return jpeg.data()->data;
}

std::string encodeWithQt(const QImage& picture, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(quality);
    if (!writer.write(picture))
        throw std::runtime_error("Qt cannot write JPEG: " + writer.errorString().toStdString());
    return bytes.toStdString();
}

QImage decodeWithQt(const std::string& jpeg) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()),
                       "JPG");
    return image;
}

std::string cmykJpeg(int w, int h, int c, int m, int y, int k, bool adobe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err); // test input only: libjpeg's default exit on error
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    info.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    const int s = adobe ? 255 : 0; // Adobe: 255 - ink
    std::vector<JSAMPLE> row;
    for (int x = 0; x < w; ++x)
        for (int v : {c, m, y, k})
            row.push_back(static_cast<JSAMPLE>(adobe ? s - v : v));
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

std::string manyScanJpeg(int w, int h, int scans) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);

    // DC of all components, then each AC coefficient of each component bit by bit.
    std::vector<jpeg_scan_info> script;
    script.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
    for (int bits = 1; bits <= 10 && int(script.size()) <= scans; ++bits) {
        script.resize(1);
        for (int c = 0; c < 3; ++c)
            for (int k = 1; k <= 63; ++k) {
                script.push_back({1, {c, 0, 0, 0}, k, k, 0, bits - 1});
                for (int al = bits - 2; al >= 0; --al)
                    script.push_back({1, {c, 0, 0, 0}, k, k, al + 1, al});
            }
    }
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());

    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(std::size_t(w) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < w; ++x) {
            row[3 * x] = JSAMPLE(x * 7);
            row[3 * x + 1] = JSAMPLE(info.next_scanline * 5);
            row[3 * x + 2] = JSAMPLE((x ^ info.next_scanline) * 3);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

std::vector<Marker> headerMarkers(const std::string& jpeg) {
    std::vector<Marker> markers;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(jpeg.at(i)); };
    if (jpeg.size() < 2 || byte(0) != 0xFF || byte(1) != 0xD8)
        return markers;
    markers.push_back({0xD8, 0, 0});
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && byte(pos) == 0xFF) {
        const std::uint8_t code = byte(pos + 1);
        const std::size_t length = std::size_t(byte(pos + 2)) << 8 | byte(pos + 3);
        markers.push_back({code, pos, length});
        if (code == 0xDA)
            break;
        pos += 2 + length;
    }
    return markers;
}

bool hasMarker(const std::string& jpeg, std::uint8_t code) {
    for (const Marker& m : headerMarkers(jpeg))
        if (m.code == code)
            return true;
    return false;
}

std::string withFrameSize(std::string jpeg, int width, int height) {
    for (const Marker& m : headerMarkers(jpeg)) {
        if (m.code == 0xC0 || m.code == 0xC1 || m.code == 0xC2) {
            // FF Cn, length(2), precision(1), height(2), width(2)
            jpeg[m.offset + 5] = char(height >> 8);
            jpeg[m.offset + 6] = char(height & 0xFF);
            jpeg[m.offset + 7] = char(width >> 8);
            jpeg[m.offset + 8] = char(width & 0xFF);
            return jpeg;
        }
    }
    throw std::runtime_error("no frame header");
}

QImage smoothPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<uchar>(x * 255 / std::max(1, w - 1));
            row[3 * x + 1] = static_cast<uchar>(y * 255 / std::max(1, h - 1));
            row[3 * x + 2] = static_cast<uchar>((x + y) * 255 / std::max(1, w + h - 2));
        }
    }
    return image;
}

double meanAbsError(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size() || x.isNull())
        throw std::runtime_error("pictures differ in size");
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (double(x.width()) * x.height() * 3);
}

} // namespace kelvora::test

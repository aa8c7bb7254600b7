#pragma once
// The album's PNG files: palette pictures (Format_Indexed8 with 1 to 256
// colours) stay 8-bit paletted, everything else becomes 24-bit RGB. Written
// whole (EncodePng) or row by row (PngRowEncoder), with the same bytes.
//
// libpng is C: its errors come back by longjmp to a frame of the encoder and
// only there become exceptions, and an exception of the sink waits for that
// frame too, so that none crosses libpng.
#include <QImage>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace kelvora {

// The picture as a PNG byte stream. A null image gives no bytes.
std::string EncodePng(const QImage& image);

class PngRowEncoder {
public:
    using Sink = std::function<void(const char* bytes, std::size_t size)>;
    // A width x height picture of the format (and colour table); the bytes go to
    // the sink in blocks. EOutOfResources when libpng cannot start.
    PngRowEncoder(int width, int height, QImage::Format format, const QList<QRgb>& colorTable,
                  Sink sink);
    ~PngRowEncoder();
    PngRowEncoder(const PngRowEncoder&) = delete;
    PngRowEncoder& operator=(const PngRowEncoder&) = delete;

    // Rows first .. first + count - 1 of the image (the picture's width and
    // format) are the picture's next rows, top to bottom. EInvalidGraphic
    // "PNG 画像を作成できません" when libpng fails, the sink's own exception when
    // it throws.
    void writeRows(const QImage& image, int first, int count);
    // After the last row.
    void finish();

private:
    struct State;
    [[noreturn]] void failed();
    void writeAsTheyAre(const QImage& rows, int first, int count);

    std::unique_ptr<State> s_;
};

} // namespace kelvora

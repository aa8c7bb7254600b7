#pragma once
// Windows and OS/2 bitmap files (.bmp), decoded (bmp_reader.cpp) and encoded
// (bmp_writer.cpp) by hand: Qt's reader hides a file's bit depth (16 and 24 bits
// come out as 32, 4 as 8), leaves the rows of a file that is cut short undefined,
// and knows neither OS/2 2.x headers nor BI_ALPHABITFIELDS.
//
// Decoded pixels, by the file's bit depth:
//   1 bit          -> Format_Mono      pf1bit   (palette of 2)
//   4 bit, RLE4    -> Format_Indexed8  pf4bit   (palette of 16)
//   8 bit, RLE8    -> Format_Indexed8  pf8bit   (palette of 256)
//   16 bit         -> Format_BGR888    pf16bit  (555 or bit fields, widened to 8 bits a channel)
//   24 bit         -> Format_BGR888    pf24bit
//   32 bit         -> Format_RGB32, or Format_ARGB32 when bit fields name an alpha channel
//                     that is not zero everywhere (pf32bit)
// Palette entries a file leaves out are black; rows missing from a file that is
// cut short, and pixels run-length data skips, are palette index 0 or black.

#include "base/bitmap.h"

#include <memory>
#include <string>
#include <string_view>

namespace kelvora {

struct DecodedBitmap {
    QImage image;
    TPixelFormat pixelFormat;
};

// True when the bytes start like a bitmap file ("BM").
bool isBmpData(std::string_view bytes);

// Raises EInvalidGraphic "ビットマップ画像が不正です" for what is not a bitmap or
// holds no pixel data, and EOutOfResources (checkPictureSize) before allocating
// a picture above kMaxPicturePixels.
DecodedBitmap decodeBmp(std::string_view bytes);

// The rows of an uncompressed bitmap file one at a time, each as decodeBmp puts
// it into its picture, for a reader whose rows lie elsewhere than behind the
// headers (a plug-in's bits block) and who must not hold the decoded picture.
// Rows are decoded in any order, on one thread at a time.
class BmpRows {
public:
    // headers: the file from its start through its colour table; fileSize: the
    // whole file's size, rows included. Raises what decodeBmp raises for such
    // headers (EInvalidGraphic "ビットマップ画像が不正です", EOutOfResources), and
    // EInvalidGraphic for run-length data, which has no rows of fixed size.
    BmpRows(std::string_view headers, std::size_t fileSize);
    ~BmpRows();
    BmpRows(const BmpRows&) = delete;
    BmpRows& operator=(const BmpRows&) = delete;

    int width() const;
    int height() const;         // rows, positive
    bool topDown() const;       // the first stored row is the top one
    std::size_t stride() const; // bytes of a stored row, padding included
    std::size_t dataOffset() const;
    // decodeBmp's format, except that Format_ARGB32 stays until setOpaque().
    QImage::Format format() const;
    TPixelFormat pixelFormat() const;
    const QList<QRgb>& palette() const; // for 1, 4 and 8 bits
    // For Format_ARGB32: whether the stored row has a pixel whose alpha is not
    // zero. decodeBmp takes a picture with none in any row as opaque; a reader of
    // rows learns that by asking every row, then calls setOpaque().
    bool hasAlpha(const unsigned char* stored) const;
    // Format_ARGB32 becomes Format_RGB32, every later row with alpha 255.
    void setOpaque();
    // One stored row (stride() bytes) into width() pixels of format().
    void decode(const unsigned char* stored, uchar* out) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

// A complete bitmap file: 1, 4 and 8 bits with the picture's palette for those
// formats, 32 bits for pf32bit (with an alpha channel when the image has one),
// 24 bits for everything else. An empty image gives an empty string.
std::string encodeBmp(const QImage& image, TPixelFormat format);

} // namespace kelvora

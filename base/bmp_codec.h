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

// A complete bitmap file: 1, 4 and 8 bits with the picture's palette for those
// formats, 32 bits for pf32bit (with an alpha channel when the image has one),
// 24 bits for everything else. An empty image gives an empty string.
std::string encodeBmp(const QImage& image, TPixelFormat format);

} // namespace kelvora

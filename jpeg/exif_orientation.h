#pragma once
// The Exif orientation of a JPEG file, read from its APP1 segment with libexif.
#include <cstddef>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers

#include <jpeglib.h>

namespace kelvora {

// The orientation tag of an APP1 segment's content ("Exif\0\0" and the TIFF
// structure); 1 when there is none or it is damaged.
int ExifOrientation(const unsigned char* data, std::size_t size);
// The orientation of a decompressor whose header was read with APP1 segments kept.
int ExifOrientation(j_decompress_ptr info);

} // namespace kelvora

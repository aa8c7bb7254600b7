#pragma once
// Pieces the thumbnail tests share: a cache folder of their own, JPEG files made
// by an encoder that is not ours, and the raw text chunks of a PNG.
#include "tests/support/temp_dir.h"

#include <QImage>
#include <ctime>
#include <map>
#include <string>

namespace kelvora::test {

// A picture of one colour.
QImage plainImage(int w, int h, QRgb colour);
// A JPEG file of the picture, written by Qt's encoder; returns its path.
std::string writeJpeg(const TempDir& dir, const std::string& name, const QImage& image);
// The JPEG stream with an Exif segment holding the orientation and the embedded
// thumbnail, written by libexif.
std::string withExifThumbnail(const std::string& jpeg, const std::string& thumbnail,
                              int orientation = 1);
// Another program's thumbnail, written by Qt's PNG writer (which compresses long
// texts) with its own Software key.
void saveForeignThumbnail(const std::string& path, QImage image, const std::string& uri,
                          const char* mtime);
// Sets a file's modification time (whole seconds).
void setModified(const std::string& path, std::time_t seconds);
std::time_t modifiedOf(const std::string& path);
// The uncompressed tEXt chunks of a PNG, key to text.
std::map<std::string, std::string> pngTextChunks(const std::string& png);

} // namespace kelvora::test

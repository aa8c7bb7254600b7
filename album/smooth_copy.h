#pragma once
// Smooth (Lanczos-filtered) copies made from a picture's rows as they come, beside
// the nearest-neighbour copies of scaled_copy.h, for the conversions that never
// hold the decoded picture. Every row goes through a SmoothScaler. An upright
// picture's copy is encoded as its rows come out; the copy of a picture that
// must be turned is scaled as stored, held (it is small), turned upright and
// encoded at the end.
//
// Rows are grey (1 byte), blue, green, red (3) or premultiplied ARGB32 (4): the
// copy is Format_BGR888, or Format_ARGB32 for premultiplied rows.
#include "album/picture_settings.h"

#include <QImage>
#include <cstddef>
#include <memory>

namespace kelvora {

class SmoothScaler;
class TRowEncoder;
class TStagedFile;

class SmoothCopy {
public:
    // target: the upright copy's size; rows: the size of the rows as they come
    // (the stored picture's, or a reduced decoding's); orientation: the Exif
    // orientation that turns them upright.
    SmoothCopy(QSize target, QSize rows, int orientation, int rowBytes,
               const TPictureSettings& settings, TStagedFile& file);
    ~SmoothCopy();
    SmoothCopy(const SmoothCopy&) = delete;
    SmoothCopy& operator=(const SmoothCopy&) = delete;

    // Every row, top to bottom.
    void take(const uchar* row);
    // After the last row: the rest of the file.
    void finish();

    static std::size_t workingMemory(QSize target, QSize rows, int orientation, int rowBytes);

private:
    void convert(uchar* out, const uchar* row) const;

    const TPictureSettings& settings_;
    TStagedFile& file_;
    int orientation_;
    int rowBytes_;
    int width_;                            // of the rows the scaler gives
    std::unique_ptr<TRowEncoder> encoder_; // upright pictures
    QImage held_;                          // the others
    std::unique_ptr<SmoothScaler> scaler_;
};

} // namespace kelvora

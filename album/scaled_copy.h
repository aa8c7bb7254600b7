#pragma once
// Nearest-neighbour scaled copies made from a picture's stored rows as they come,
// for the conversions that never hold the decoded picture (streamed_conversion.h,
// dib_conversion.h). A copy's "lines" are its rows, or its columns when the
// picture is turned a quarter; each line takes its pixels from one stored row,
// picked by the same maps ScaleNearest uses, so a copy is pixel for pixel the
// one scaling the whole (upright) picture gives.
//
// Stored rows arrive in order, each at most once; a row no copy wants need not
// be decoded at all. Pixels are copied as they are (1, 3 or 4 bytes), except
// that a grey stored row may fill a 3-byte copy (blue, green, red alike).
#include "album/picture_settings.h"

#include <QImage>
#include <memory>
#include <vector>

namespace kelvora {

class TRowEncoder;
class TStagedFile;

// One output of a conversion: its settings and the file that receives it.
struct TScaledOutput {
    const TPictureSettings* settings;
    TStagedFile* file;
};

// The size of the copy shown while a run goes on: the picture fitted into
// side x side, at least one pixel a side.
QSize PreviewSize(QSize picture, int side);

class ScaledCopy {
public:
    // target: the copy's size; stored: the picture's size as its rows are stored;
    // orientation: the Exif orientation that turns it upright (1: none).
    ScaledCopy(QSize target, QSize stored, int orientation, int storedBytes, int copyBytes);
    virtual ~ScaledCopy();

    bool wants(int storedRow) const {
        return next_ < lines_.size() && lines_[next_].storedRow == storedRow;
    }
    void take(int storedRow, const uchar* row) {
        while (wants(storedRow)) {
            fillLine(lines_[next_].index, row);
            ++next_;
        }
    }

protected:
    virtual void fillLine(int line, const uchar* row) = 0;
    // The line's pixels, when lines are rows.
    void fillRow(uchar* out, const uchar* row) const;
    // One pixel of a stored row.
    void pick(uchar* out, const uchar* row, int x) const;

    QSize target_;
    std::vector<int> along_; // stored column (or row) of each pixel of a line
    bool columns_ = false;
    int storedBytes_;
    int copyBytes_;

private:
    struct Line {
        int storedRow;
        int index;
    };
    std::vector<Line> lines_;
    std::size_t next_ = 0;
};

// A copy held whole, in the given format (and colour table).
class HeldCopy : public ScaledCopy {
public:
    HeldCopy(QSize target, QSize stored, int orientation, int storedBytes, QImage::Format format,
             const QList<QRgb>& colorTable = {});
    const QImage& image() const { return image_; }

protected:
    void fillLine(int line, const uchar* row) override;

private:
    QImage image_;
};

// A copy of an upright picture encoded as its rows arrive, as its settings say.
class EncodedCopy : public ScaledCopy {
public:
    EncodedCopy(QSize target, QSize stored, int storedBytes, const TPictureSettings& settings,
                TStagedFile& file, QImage::Format format, const QList<QRgb>& colorTable = {});
    ~EncodedCopy() override;
    void finish();

protected:
    void fillLine(int line, const uchar* row) override;

private:
    std::unique_ptr<TRowEncoder> encoder_;
};

// Bytes of a pixel of the formats copies are made in.
int PixelBytes(QImage::Format format);

} // namespace kelvora

#include "album/picture_converter.h"

#include "album/nearest_scale.h"
#include "album/output_paths.h"
#include "album/png_writer.h"
#include "album/smooth_scale.h"
#include "base/bitmap.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/stringlist.h"
#include "jpeg/jpeg_encode.h"
#include "jpeg/jpeg_image.h"

#include <algorithm>
#include <sstream>

namespace kelvora {
namespace {

long long scaledSide(int side, int rate) {
    // 64-bit products: a large Rate must not wrap into a small picture.
    const long long scaled = static_cast<long long>(side) * rate / 100;
    return scaled == 0 && side >= 1 && rate > 0 ? 1 : scaled;
}

// The largest size of the picture's proportions inside box: the side that meets
// the box is the box's, the other rounded to the nearest pixel, at least one.
// Sides of the box that are no size are left for the caller to refuse.
void fitInside(long long& boxW, long long& boxH, int width, int height) {
    if (boxW <= 0 || boxH <= 0)
        return;
    const long long w = width, h = height; // at most 2^28 each: no product overflows
    if (boxW * h <= boxH * w)
        boxH = std::max(1LL, (2 * h * boxW + w) / (2 * w));
    else
        boxW = std::max(1LL, (2 * w * boxH + h) / (2 * h));
}

} // namespace

QSize TargetSize(const TPictureSettings& settings, int width, int height) {
    long long w = settings.Horizonal;
    long long h = settings.Vertical;
    if (settings.PictureSizeMode) {
        w = scaledSide(width, settings.Rate);
        h = scaledSide(height, settings.Rate);
    } else if (settings.KeepAspect && width > 0 && height > 0) {
        fitInside(w, h, width, height);
    }
    // Nothing to draw into: an empty file would be linked as a picture.
    if (w <= 0 || h <= 0)
        throw EInvalidGraphicOperation(
            QStringLiteral("画像のサイズ %1 x %2 は不正です").arg(w).arg(h));
    checkPictureSize(w, h);
    return {static_cast<int>(w), static_cast<int>(h)};
}

std::string TargetFileName(const TPictureSettings& settings, const std::string& sourceFile,
                           int index) {
    const std::string part =
        settings.Consecutive ? std::to_string(index) : SourceNameOf(sourceFile);
    const char* extension = settings.PictureType == "Png" ? ".png" : ".jpg";
    return settings.OutputFolder + settings.Header + part + extension;
}

void CheckPictureType(const TPictureSettings& settings) {
    if (settings.PictureType != "Jpeg" && settings.PictureType != "Png")
        throw EInvalidGraphic(
            QStringLiteral("画像形式 %1 では保存できません (Jpeg または Png を指定してください)")
                .arg(toQ(settings.PictureType)));
}

bool FullChromaOutput(const TPictureSettings& settings, QSize size) {
    return settings.Smooth && qint64{size.width()} * size.height() <= qint64{1} << 20;
}

std::string EncodeScaledPicture(const TPictureSettings& settings, const QImage& picture) {
    CheckPictureType(settings);
    const QSize size = TargetSize(settings, picture.width(), picture.height());
    if (settings.Smooth) {
        const QImage smooth = ScaleSmooth(picture, size.width(), size.height());
        if (settings.PictureType == "Png")
            return EncodePng(smooth);
        JpegEncodeSettings s;
        s.quality = static_cast<std::uint8_t>(settings.Quality & 0xFF);
        s.fullChroma = FullChromaOutput(settings, size);
        return encodeJpeg(smooth, s);
    }
    TBitmap scaled;
    scaled.setImage(ScaleNearest(picture, size.width(), size.height()));
    if (settings.PictureType == "Png")
        return EncodePng(scaled.qimage());
    TJPEGImage jpeg;
    jpeg.assign(scaled);
    jpeg.setCompressionQuality(static_cast<std::uint8_t>(settings.Quality & 0xFF));
    jpeg.compress();
    std::ostringstream bytes;
    jpeg.saveToStream(bytes);
    return std::move(bytes).str();
}

void ConvertPicture(const TPictureSettings& settings, const QImage& picture,
                    const std::string& sourceFile, int index, TStringList& names) {
    CheckPictureType(settings);
    const std::string bytes = EncodeScaledPicture(settings, picture);
    // A folder that cannot be made shows up as the file-creation error below.
    forceDirectories(settings.OutputFolder);
    const std::string fileName = TargetFileName(settings, sourceFile, index);
    names.add(fileName);
    writeWholeFile(fileName, bytes);
}

} // namespace kelvora

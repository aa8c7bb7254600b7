#include "album/picture_converter.h"

#include "album/nearest_scale.h"
#include "album/output_paths.h"
#include "album/png_writer.h"
#include "base/bitmap.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/stringlist.h"
#include "jpeg/jpeg_image.h"

namespace kelvora {
namespace {

enum class OutputFormat { Jpeg, Png };

OutputFormat outputFormatOf(const std::string& pictureType) {
    if (pictureType == "Jpeg")
        return OutputFormat::Jpeg;
    if (pictureType == "Png")
        return OutputFormat::Png;
    throw EInvalidGraphic(
        QStringLiteral("画像形式 %1 では保存できません (Jpeg または Png を指定してください)")
            .arg(toQ(pictureType)));
}

} // namespace

QSize TargetSize(const TPictureSettings& settings, int width, int height) {
    long long w = settings.Horizonal;
    long long h = settings.Vertical;
    if (settings.PictureSizeMode) {
        // 64-bit products: a large Rate must not wrap into a small picture.
        w = static_cast<long long>(width) * settings.Rate / 100;
        h = static_cast<long long>(height) * settings.Rate / 100;
    }
    if (w < 0 || h < 0)
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

void ConvertPicture(const TPictureSettings& settings, const QImage& picture,
                    const std::string& sourceFile, int index, TStringList& names) {
    const QSize size = TargetSize(settings, picture.width(), picture.height());
    TBitmap scaled;
    scaled.setImage(ScaleNearest(picture, size.width(), size.height()));

    // A folder that cannot be made shows up as the file-creation error below.
    forceDirectories(settings.OutputFolder);

    const OutputFormat format = outputFormatOf(settings.PictureType);
    const std::string fileName = TargetFileName(settings, sourceFile, index);
    if (format == OutputFormat::Jpeg) {
        TJPEGImage jpeg;
        jpeg.assign(scaled);
        jpeg.setCompressionQuality(static_cast<std::uint8_t>(settings.Quality & 0xFF));
        jpeg.compress();
        names.add(fileName);
        jpeg.saveToFile(fileName);
    } else {
        const std::string png = EncodePng(scaled.qimage());
        names.add(fileName);
        writeWholeFile(fileName, png);
    }
}

} // namespace kelvora

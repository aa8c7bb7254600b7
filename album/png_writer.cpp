#include "album/png_writer.h"

#include "base/errors.h"

#include <png.h>
#include <vector>

namespace kelvora {
namespace {

struct PngWriteStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteStruct() { png_destroy_write_struct(&png, &info); }
};

void appendToString(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

[[noreturn]] void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Runs under the caller's setjmp; libpng errors jump back there.
void writeRows(png_structp png, png_infop info, const QImage& image, bool paletted,
               std::vector<png_color>& palette) {
    const auto width = static_cast<png_uint_32>(image.width());
    const auto height = static_cast<png_uint_32>(image.height());
    png_set_IHDR(png, info, width, height, 8,
                 paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletted) {
        for (QRgb c : image.colorTable())
            palette.push_back({static_cast<png_byte>(qRed(c)), static_cast<png_byte>(qGreen(c)),
                               static_cast<png_byte>(qBlue(c))});
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_write_info(png, info);
    if (!paletted)
        png_set_bgr(png); // rows are blue, green, red
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    png_write_end(png, nullptr);
}

} // namespace

std::string EncodePng(const QImage& original) {
    if (original.isNull() || original.width() == 0 || original.height() == 0)
        return {};
    const bool paletted = original.format() == QImage::Format_Indexed8 &&
                          original.colorCount() > 0 && original.colorCount() <= 256;
    const QImage image = paletted || original.format() == QImage::Format_BGR888
                             ? original
                             : original.convertToFormat(QImage::Format_BGR888);

    std::string out;
    std::vector<png_color> palette;
    PngWriteStruct s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (s.png)
        s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info)
        throw EOutOfResources(QStringLiteral("PNG 画像を作成できません"));
    png_set_write_fn(s.png, &out, appendToString, flushNothing);
    if (setjmp(png_jmpbuf(s.png)))
        throw EInvalidGraphic(QStringLiteral("PNG 画像を作成できません"));
    writeRows(s.png, s.info, image, paletted, palette);
    return out;
}

} // namespace kelvora

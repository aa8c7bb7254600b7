#include "album/png_writer.h"

#include "album/album_texts.h"
#include "base/errors.h"

#include <algorithm>
#include <png.h>
#include <vector>

namespace kelvora {
namespace {

// Bytes handed to the sink at a time: libpng writes in pieces of a few KiB.
constexpr std::size_t kSinkBlock = 64 * 1024;

[[noreturn]] void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

struct PngRowEncoder::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool paletted = false;
    std::vector<png_color> palette;
    Sink sink;
    std::string pending;      // bytes not handed to the sink yet
    std::exception_ptr error; // the sink's, raised once libpng has returned

    ~State() { png_destroy_write_struct(&png, &info); }

    static void write(png_structp png, png_bytep data, png_size_t length) {
        auto* s = static_cast<State*>(png_get_io_ptr(png));
        s->pending.append(reinterpret_cast<const char*>(data), length);
        if (s->pending.size() >= kSinkBlock && !s->handOver())
            png_error(png, "sink");
    }
    static void flushNothing(png_structp) {}

    bool handOver() noexcept {
        try {
            if (!pending.empty())
                sink(pending.data(), pending.size());
            pending.clear();
            return true;
        } catch (...) {
            error = std::current_exception();
            return false;
        }
    }
};

PngRowEncoder::PngRowEncoder(int width, int height, QImage::Format format,
                             const QList<QRgb>& colorTable, Sink sink)
    : s_(std::make_unique<State>()) {
    s_->sink = std::move(sink);
    s_->paletted =
        format == QImage::Format_Indexed8 && !colorTable.isEmpty() && colorTable.size() <= 256;
    s_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (s_->png)
        s_->info = png_create_info_struct(s_->png);
    if (!s_->png || !s_->info)
        throw EOutOfResources(AlbumTexts::Text(AlbumTexts::SCannotMakePng));
    png_set_write_fn(s_->png, s_.get(), State::write, State::flushNothing);
    if (s_->paletted)
        for (QRgb c : colorTable)
            s_->palette.push_back({static_cast<png_byte>(qRed(c)), static_cast<png_byte>(qGreen(c)),
                                   static_cast<png_byte>(qBlue(c))});
    // Nothing below may need a destructor: libpng's errors jump over it.
    if (setjmp(png_jmpbuf(s_->png)))
        failed();
    png_set_IHDR(s_->png, s_->info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8,
                 s_->paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s_->paletted)
        png_set_PLTE(s_->png, s_->info, s_->palette.data(), static_cast<int>(s_->palette.size()));
    png_write_info(s_->png, s_->info);
    if (!s_->paletted)
        png_set_bgr(s_->png); // rows are blue, green, red
}

PngRowEncoder::~PngRowEncoder() = default;

void PngRowEncoder::failed() {
    if (std::exception_ptr error = std::exchange(s_->error, nullptr))
        std::rethrow_exception(error);
    throw EInvalidGraphic(AlbumTexts::Text(AlbumTexts::SCannotMakePng));
}

void PngRowEncoder::writeRows(const QImage& image, int first, int count) {
    if (s_->paletted || image.format() == QImage::Format_BGR888) {
        writeAsTheyAre(image, first, count);
        return;
    }
    // Anything else becomes blue, green, red as Qt converts it, a few rows at a
    // time: a whole 24-bit copy is not needed.
    constexpr int kRows = 16;
    for (int y = first; y < first + count; y += kRows) {
        const QImage chunk = image.copy(0, y, image.width(), std::min(kRows, first + count - y))
                                 .convertToFormat(QImage::Format_BGR888);
        writeAsTheyAre(chunk, 0, chunk.height());
    }
}

void PngRowEncoder::writeAsTheyAre(const QImage& rows, int first, int count) {
    if (setjmp(png_jmpbuf(s_->png)))
        failed();
    for (int y = first; y < first + count; ++y)
        png_write_row(s_->png, const_cast<png_bytep>(rows.constScanLine(y)));
}

void PngRowEncoder::finish() {
    if (setjmp(png_jmpbuf(s_->png)))
        failed();
    png_write_end(s_->png, nullptr);
    if (!s_->handOver())
        failed();
}

std::string EncodePng(const QImage& image) {
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return {};
    std::string out;
    PngRowEncoder encoder(image.width(), image.height(), image.format(), image.colorTable(),
                          [&out](const char* bytes, std::size_t size) { out.append(bytes, size); });
    encoder.writeRows(image, 0, image.height());
    encoder.finish();
    return out;
}

} // namespace kelvora

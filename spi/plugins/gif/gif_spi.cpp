// GIF import filter over giflib: the first image of the file on its logical
// screen, 8-bit with the image's colour table. Pixels outside the image, and
// transparent ones, show the screen's background colour.
#include "spi/plugins/kit/plugin_kit.h"

#include <cstring>
#include <gif_lib.h>
#include <string>
#include <vector>

using namespace kelvora::spikit;

namespace {

const PluginInfo& info() {
    static const PluginInfo i{"Kelvora GIF plug-in (giflib " + std::to_string(GIFLIB_MAJOR) + "." +
                                  std::to_string(GIFLIB_MINOR) + "." +
                                  std::to_string(GIFLIB_RELEASE) + ")",
                              {{"*.gif", "GIF"}}};
    return i;
}

struct Reader {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

int readData(GifFileType* gif, GifByteType* out, int length) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), r->size - r->at);
    std::memcpy(out, r->data + r->at, n);
    r->at += n;
    return static_cast<int>(n);
}

struct File {
    GifFileType* gif = nullptr;
    Reader reader{};
    ~File() {
        if (gif)
            DGifCloseFile(gif, nullptr);
    }
    bool open(const Input& in) {
        reader = {in.data(), in.size(), 0};
        int error = 0;
        gif = DGifOpen(&reader, readData, &error);
        return gif != nullptr;
    }
};

int decode(GifFileType* gif, Dib& dib, Progress& progress) {
    const long long width = gif->SWidth;
    const long long height = gif->SHeight;
    int transparent = -1;
    GifRecordType record;
    do {
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return SPI_BROKEN_DATA;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return SPI_BROKEN_DATA;
            if (code == GRAPHICS_EXT_FUNC_CODE && block) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return SPI_BROKEN_DATA;
        }
    } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) == GIF_ERROR)
        return SPI_BROKEN_DATA;

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || frame.Width < 1 || frame.Height < 1)
        return SPI_BROKEN_DATA;
    if (static_cast<long long>(frame.Width) * frame.Height > kMaxPixels)
        return SPI_NO_MEMORY;
    // A screen with a side of 0 (seen in the wild) takes the image's size, both sides.
    const bool screen = width > 0 && height > 0;
    const long long screenWidth = screen ? width : frame.Width;
    const long long screenHeight = screen ? height : frame.Height;
    if (const int error = dib.create(screenWidth, screenHeight, Dib::kIndexed8, 256))
        return error;
    RGBQUAD* table = dib.colors();
    for (int i = 0; i < map->ColorCount && i < 256; ++i)
        table[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    const auto background = static_cast<unsigned char>(gif->SBackGroundColor);
    for (long long y = 0; y < screenHeight; ++y)
        std::memset(dib.row(y), background, static_cast<std::size_t>(screenWidth));

    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    // Interlaced images arrive in four passes: every 8th row from 0, from 4, every 4th from 2,
    // every 2nd from 1.
    const int starts[] = {0, 4, 2, 1};
    const int steps[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    long long done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? starts[pass] : 0;
        const int step = frame.Interlace ? steps[pass] : 1;
        for (long long row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
                return SPI_BROKEN_DATA;
            const long long y = frame.Top + row;
            if (y >= 0 && y < screenHeight)
                for (long long x = 0; x < frame.Width; ++x) {
                    const long long to = frame.Left + x;
                    if (to < screenWidth && line[static_cast<std::size_t>(x)] != transparent)
                        dib.row(y)[to] = line[static_cast<std::size_t>(x)];
                }
            if (++done % 64 == 0 && progress.report(done, frame.Height))
                return SPI_ABORT;
        }
    }
    progress.report(frame.Height, frame.Height);
    return SPI_SUCCESS;
}

bool isGif(const void* header) {
    return startsWith(header, "GIF87a", 6) || startsWith(header, "GIF89a", 6);
}

int gifInfo(const Input& in, PictureInfo* info) {
    File file;
    if (!file.open(in))
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(info, file.gif->SWidth, file.gif->SHeight, 8);
    return SPI_SUCCESS;
}

int gifDecode(const Input& in, Dib& dib, Progress& progress) {
    File file;
    if (!file.open(in))
        return SPI_UNKNOWN_FORMAT;
    return decode(file.gif, dib, progress);
}

const Filter filter{info, isGif, gifInfo, gifDecode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

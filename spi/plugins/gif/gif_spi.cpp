// GIF import filter over giflib: the first image of the file on its logical
// screen, 8-bit with the image's colour table. Pixels outside the image, and
// transparent ones, show the screen's background colour.
//
// The file is read record by record and the image line by line into the
// bitmap; giflib itself holds no more than a line and its LZW tables. giflib
// trusts the sizes a file declares, so the image's is checked against what
// the rest of the file could encode before the bitmap is made.
#include "spi/plugins/kit/plugin_kit.h"

#include <algorithm>
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

int readData(GifFileType* gif, GifByteType* out, int length) {
    return length > 0 ? static_cast<int>(static_cast<Reader*>(gif->UserData)
                                             ->readSome(out, static_cast<std::size_t>(length)))
                      : 0;
}

struct File {
    explicit File(const Input& in) : reader(in) {}
    Reader reader;
    GifFileType* gif = nullptr;
    ~File() {
        if (gif)
            DGifCloseFile(gif, nullptr);
    }
    bool open() {
        int error = 0;
        gif = DGifOpen(&reader, readData, &error);
        return gif != nullptr;
    }
};

// The most pixels LZW data of this many bytes can stand for: a code of at most 12
// bits never stands for more than 4096 pixels.
long long mostPixelsIn(std::uint64_t bytes) {
    return static_cast<long long>(std::min<std::uint64_t>(bytes, kMaxPixels)) * 8 / 12 * 4096 +
           4096;
}

int decode(File& file, Dib& dib, Progress& progress) {
    GifFileType* gif = file.gif;
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
    if (!withinLimits(frame.Width, frame.Height))
        return SPI_NO_MEMORY;
    if (static_cast<long long>(frame.Width) * frame.Height > mostPixelsIn(file.reader.remaining()))
        return SPI_BROKEN_DATA; // the file ends before the image could
    // A screen with a side of 0 (seen in the wild) takes the image's size, both sides.
    const bool screen = width > 0 && height > 0;
    const long long screenWidth = screen ? width : frame.Width;
    const long long screenHeight = screen ? height : frame.Height;
    if (const int error = dib.create(screenWidth, screenHeight, Dib::kIndexed8, 256))
        return error;
    RGBQUAD* table = dib.colors();
    for (int i = 0; i < map->ColorCount && i < 256; ++i)
        table[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    // The rows start zeroed: a background of colour 0 costs no writing.
    const auto background = static_cast<unsigned char>(gif->SBackGroundColor);
    if (background != 0)
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
    File file(in);
    if (!file.open())
        return SPI_UNKNOWN_FORMAT;
    fillPictureInfo(info, file.gif->SWidth, file.gif->SHeight, 8);
    return SPI_SUCCESS;
}

int gifDecode(const Input& in, Dib& dib, Progress& progress) {
    File file(in);
    if (!file.open())
        return SPI_UNKNOWN_FORMAT;
    return decode(file, dib, progress);
}

const Filter filter{info, isGif, gifInfo, gifDecode};

} // namespace

KELVORA_IMPORT_FILTER(filter)

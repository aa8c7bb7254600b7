// Decoding photographs through the plug-in path (the picture loader, the
// decoding helper, the shipped filter, the bitmap conversion) against the
// library doing the same decode on its own.
//
//   bench_spi CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// Three photographs of 10 to 13 MP are converted once to PNG (ImageMagick) and
// HEIC (heif-enc, quality 80) in CORPUS_DIR/spi. Baselines, measured in the same
// run and interleaved with ours, best of REPS:
//   HEIC: heif-convert, libheif's own tool, writing raw YUV (.y4m), and libheif
//         called in this process, decoding to interleaved RGB;
//   PNG:  libpng called in this process, decoding to BGR rows (libpng has no
//         decoding tool of its own in Debian).
// Target: ours / baseline at most 1.2.
#include "app/startup.h"
#include "base/picture.h"
#include "bench/bench_util.h"
#include "spi/decoder_process.h"
#include "spi/spi_bitmap.h"
#include "spi/spis.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <libheif/heif.h>
#include <png.h>
#include <stdexcept>
#include <vector>

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

const char* const kPhotos[] = {"photos/lomiri16-Bridge.jpg", "photos/lomiri16-Dragonfly.jpg",
                               "photos/lomiri16-sunset.jpg"};

void ours(const std::string& file) {
    TPicture picture;
    picture.loadFromFile(file);
    if (picture.graphic()->image().isNull())
        throw std::runtime_error("no picture from " + file);
}

// The plug-in's bitmap as it arrives from the helper, before any conversion.
void pluginOnly(const std::string& file) {
    TSPIGraphic graphic;
    graphic.loadFromFile(file);
}

void libpngAlone(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str()))
        throw std::runtime_error("libpng cannot read " + file);
    image.format = PNG_FORMAT_BGR;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        throw std::runtime_error("libpng cannot decode " + file);
}

void libheifAlone(const std::string& file) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const bool ok =
        heif_context_read_from_file(context, file.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code == heif_error_Ok;
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    if (!ok)
        throw std::runtime_error("libheif cannot decode " + file);
}

void heifConvert(const std::string& file, const std::string& out) {
    if (bench::run({"heif-convert", file, out}, {}, "/dev/null") != 0)
        throw std::runtime_error("heif-convert failed on " + file);
}

template <class F> double best(int reps, const std::vector<std::string>& files, F decode) {
    double fastest = 1e9;
    for (int r = 0; r < reps; ++r) {
        const auto start = bench::Clock::now();
        for (const std::string& f : files)
            decode(f);
        fastest = std::min(fastest, bench::secondsSince(start));
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_spi CORPUS_DIR [REPS]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string corpus = argv[1];
    const int reps = argc > 2 ? std::atoi(argv[2]) : 5;
    registerPictureFormats(32);
    TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
    TSPIs spis;
    spis.Search(std::string(KELVORA_PLUGIN_DIR) + "/*.spi");

    const std::string dir = corpus + "/spi";
    fs::create_directories(dir);
    std::vector<std::string> png, heic;
    for (const char* photo : kPhotos) {
        const std::string stem = dir + "/" + fs::path(photo).stem().string();
        if (!fs::exists(stem + ".png") &&
            bench::run({"convert", corpus + "/" + photo, "PNG24:" + stem + ".png"}) != 0)
            throw std::runtime_error("convert failed");
        if (!fs::exists(stem + ".heic") &&
            bench::run({"heif-enc", "-q", "80", "-o", stem + ".heic", stem + ".png"}, {},
                       "/dev/null") != 0)
            throw std::runtime_error("heif-enc failed");
        png.push_back(stem + ".png");
        heic.push_back(stem + ".heic");
    }
    const std::string y4m =
        (fs::exists("/dev/shm") ? std::string("/dev/shm") : dir) + "/bench-spi.y4m";

    // Interleaved rounds, so that a busy moment of the machine hits every side.
    double oursPng = 1e9, alonePng = 1e9, oursHeic = 1e9, aloneHeic = 1e9, toolHeic = 1e9;
    double helperPng = 1e9, helperHeic = 1e9;
    for (int r = 0; r < reps; ++r) {
        helperPng = std::min(helperPng, best(1, png, pluginOnly));
        helperHeic = std::min(helperHeic, best(1, heic, pluginOnly));
        oursPng = std::min(oursPng, best(1, png, ours));
        alonePng = std::min(alonePng, best(1, png, libpngAlone));
        oursHeic = std::min(oursHeic, best(1, heic, ours));
        aloneHeic = std::min(aloneHeic, best(1, heic, libheifAlone));
        toolHeic =
            std::min(toolHeic, best(1, heic, [&](const std::string& f) { heifConvert(f, y4m); }));
    }
    fs::remove(y4m);
    std::printf("three photographs of 10-13 MP, best of %d\n", reps);
    std::printf(
        "PNG   plug-in path %.3f s   libpng alone %.3f s        ratio %.2f (target <= 1.2)\n",
        oursPng, alonePng, oursPng / alonePng);
    std::printf(
        "HEIC  plug-in path %.3f s   heif-convert (y4m) %.3f s  ratio %.2f (target <= 1.2)\n",
        oursHeic, toolHeic, oursHeic / toolHeic);
    std::printf("HEIC  plug-in path %.3f s   libheif alone %.3f s       ratio %.2f\n", oursHeic,
                aloneHeic, oursHeic / aloneHeic);
    std::printf("of which up to the plug-in's bitmap in the program: PNG %.3f s, HEIC %.3f s\n",
                helperPng, helperHeic);
    return 0;
}

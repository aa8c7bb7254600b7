// Decoding photographs through the plug-in path (the picture loader, the
// decoding helper, the shipped filter, the bitmap conversion) against the
// library doing the same decode on its own.
//
//   bench_spi CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// Three photographs of 10 to 13 MP are converted once to PNG (ImageMagick) and
// HEIC (heif-enc, quality 80) in CORPUS_DIR/spi. Baselines, measured in the same
// run and interleaved with ours, best of REPS (wall and CPU time, the helper and
// the tool included):
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
#include <sys/resource.h>
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

// CPU seconds of this process and of its waited-for children (the helper, the tool).
double cpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total +=
            u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Wall and CPU time of one pass over the files, each kept at its best over the rounds.
struct Time {
    double wall = 1e9;
    double cpu = 1e9;
};
template <class F> void measure(Time& time, const std::vector<std::string>& files, F decode) {
    const double cpu = cpuSeconds();
    const auto start = bench::Clock::now();
    for (const std::string& f : files)
        decode(f);
    time.wall = std::min(time.wall, bench::secondsSince(start));
    time.cpu = std::min(time.cpu, cpuSeconds() - cpu);
}

void report(const char* what, const Time& ours, const char* baseline, const Time& base) {
    std::printf(
        "%-5s plug-in path %.3f s (CPU %.3f s)  %-18s %.3f s (CPU %.3f s)  ratio %.2f, CPU %.2f\n",
        what, ours.wall, ours.cpu, baseline, base.wall, base.cpu, ours.wall / base.wall,
        ours.cpu / base.cpu);
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
    Time oursPng, alonePng, oursHeic, aloneHeic, toolHeic, helperPng, helperHeic;
    for (int r = 0; r < reps; ++r) {
        measure(helperPng, png, pluginOnly);
        measure(oursPng, png, ours);
        measure(alonePng, png, libpngAlone);
        measure(helperHeic, heic, pluginOnly);
        measure(oursHeic, heic, ours);
        measure(aloneHeic, heic, libheifAlone);
        measure(toolHeic, heic, [&](const std::string& f) { heifConvert(f, y4m); });
    }
    fs::remove(y4m);
    std::printf("three photographs of 10-13 MP, best of %d (target: ratio at most 1.2)\n", reps);
    report("PNG", oursPng, "libpng alone", alonePng);
    report("HEIC", oursHeic, "heif-convert (y4m)", toolHeic);
    report("HEIC", oursHeic, "libheif alone", aloneHeic);
    std::printf("up to the plug-in's bitmap in the program: PNG %.3f s, HEIC %.3f s\n",
                helperPng.wall, helperHeic.wall);
    return 0;
}

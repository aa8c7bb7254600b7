// Decoding photographs through the plug-in path (the picture loader, the
// decoding helper, the shipped filter, the bitmap conversion) against the
// library doing the same decode on its own; then the memory a shipped filter
// takes on the helper's side against the bitmap it makes.
//
//   bench_spi CORPUS_DIR [REPS [OTHER_PLUGIN_DIR]]   CORPUS_DIR as made by make-corpus.sh
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
//
// Memory: each filter runs in a process of its own (this program again, with
// --peak), loaded with dlopen as the helper loads it, on a 12000 x 8000 PNG, a
// 6000 x 4000 HEIC (heif-enc, quality 80), a 28-byte lossless WebP of 16383 x
// 16383 pixels and the hostile files of tests/spi/hostile_pictures.h. The peak
// resident memory the call adds is compared with the bitmap it returns (the
// baseline: what the picture needs at the least). Target: the bitmap plus a
// small working set; every hostile file refused in under 100 ms and 100 MiB.
// With OTHER_PLUGIN_DIR the filters there (say, an earlier build) are measured
// on the same files.
#include "app/startup.h"
#include "base/picture.h"
#include "bench/bench_util.h"
#include "spi/decoder_process.h"
#include "spi/spi_bitmap.h"
#include "spi/spis.h"
#include "tests/spi/hostile_pictures.h"
#include "tests/spi/shipped_filter.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// A number from /proc/self/status, in KiB.
long statusKib(const char* key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// --peak PLUGIN FILE: one GetPicture of the file, and what it cost this process.
int peakMode(const char* plugin, const char* file) {
    test::ShippedFilter filter(plugin);
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts from here
    const long start = statusKib("VmRSS:");
    const auto begin = bench::Clock::now();
    const int result = filter.fromFile(file);
    const double seconds = bench::secondsSince(begin);
    std::printf("%d %.6f %ld %ld %zu\n", result, seconds, start, statusKib("VmHWM:"),
                result == SPI_SUCCESS ? filter.bitsSize() : 0);
    return 0;
}

struct Peak {
    int result = -1;
    double seconds = 0;
    double addedMiB = 0; // peak resident memory over the process's own before the call
    double bitmapMiB = 0;
};
Peak peakOf(const std::string& plugin, const std::string& file) {
    const std::string out = fs::temp_directory_path() / "kelvora-bench-peak.txt";
    bench::run({fs::read_symlink("/proc/self/exe"), "--peak", plugin, file}, {}, out);
    std::ifstream in(out);
    Peak p;
    long start = 0, peak = 0;
    std::size_t bitmap = 0;
    in >> p.result >> p.seconds >> start >> peak >> bitmap;
    fs::remove(out);
    p.addedMiB = (peak - start) / 1024.0;
    p.bitmapMiB = bitmap / 1048576.0;
    return p;
}

void reportPeak(const char* label, const std::string& what, const Peak& p) {
    if (p.result == SPI_SUCCESS)
        std::printf("  %-7s %-40s bitmap %7.1f MiB  peak %7.1f MiB  ratio %5.2f  (+%.1f MiB)  "
                    "%.3f s\n",
                    label, what.c_str(), p.bitmapMiB, p.addedMiB, p.addedMiB / p.bitmapMiB,
                    p.addedMiB - p.bitmapMiB, p.seconds);
    else
        std::printf("  %-7s %-40s refused (%d) in %.1f ms, peak %.1f MiB\n", label, what.c_str(),
                    p.result, p.seconds * 1000, p.addedMiB);
}

// The helper's side: each filter on big pictures and hostile files.
void helperMemory(const std::string& corpus, const std::string& other) {
    const std::string dir = corpus + "/spi";
    const std::string photo = corpus + "/" + kPhotos[0];
    const std::string png = dir + "/big-12000x8000.png";
    const std::string heic = dir + "/big-6000x4000.heic";
    if (!fs::exists(png) &&
        bench::run({"convert", photo, "-resize", "12000x8000!", "PNG24:" + png}) != 0)
        throw std::runtime_error("convert failed");
    if (!fs::exists(heic)) {
        const std::string source = dir + "/big-6000x4000.png";
        if (bench::run({"convert", photo, "-resize", "6000x4000!", "PNG24:" + source}) != 0 ||
            bench::run({"heif-enc", "-q", "80", "-o", heic, source}, {}, "/dev/null") != 0)
            throw std::runtime_error("making the HEIC failed");
        fs::remove(source);
    }
    struct File {
        std::string filter, what, path;
    };
    std::vector<File> files = {{"png", "PNG 12000 x 8000", png},
                               {"heif", "HEIC 6000 x 4000", heic}};
    const auto write = [&](const std::string& name, const std::string& bytes) {
        const std::string path = dir + "/hostile-" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    files.push_back({"webp", "WebP lossless 16383 x 16383, 28 bytes",
                     write("lossless.webp", test::webpLossless16383())});
    int n = 0;
    for (const test::HostilePicture& h : test::hostilePictures())
        files.push_back({h.filter, h.filter + " " + h.name,
                         write(std::to_string(n++) + "." + h.filter, h.bytes)});

    std::printf("helper side, one call per process: peak resident memory the call adds, "
                "against the bitmap it returns\n");
    for (const File& f : files) {
        reportPeak("now", f.what,
                   peakOf(std::string(KELVORA_PLUGIN_DIR) + "/" + f.filter + ".spi", f.path));
        if (!other.empty())
            reportPeak("other", f.what, peakOf(other + "/" + f.filter + ".spi", f.path));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0)
        return peakMode(argv[2], argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_spi CORPUS_DIR [REPS [OTHER_PLUGIN_DIR]]\n");
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
    helperMemory(corpus, argc > 3 ? argv[3] : "");
    return 0;
}

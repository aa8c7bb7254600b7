// Album conversion of real photographs against libjpeg-turbo's own tools doing
// the same work: one decode (float IDCT), a nearest-neighbour scale to 50 % and
// to 30 %, two encodes (float DCT, baseline, quality 100).
//
//   bench_convert CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// Prints per-side times, the ratio ours / tools (target: at most 1.15), and the
// peak memory of one conversion of the corpus's big picture against the budget
// decoded + scaled + compressed + 40 MB.
//
// Then the whole album: the kelvora-album command over the corpus (page and all)
// against the tools and ImageMagick (convert ... -sample) doing the same work.
// Targets: at most 1.3 times the tools, and faster than ImageMagick.
#include "album/nearest_scale.h"
#include "album/picture_converter.h"
#include "app/startup.h"
#include "base/picture.h"
#include "base/stringlist.h"
#include "bench/bench_util.h"

#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

TPictureSettings settings(TPictureKind kind, const std::string& outDir) {
    TPictureSettings s = DefaultPictureSettings(kind);
    s.Quality = 100;
    s.OutputFolder = outDir + "/" + s.Folder + "/";
    return s;
}

void convertOurs(const std::string& photo, int index, const std::string& outDir) {
    TStringList large, small;
    // As in the album run, the compressed source is released once decoded.
    const QImage decoded = [&] {
        TPicture picture;
        picture.loadFromFile(photo);
        return picture.graphic()->image();
    }();
    ConvertPicture(settings(TPictureKind::Large, outDir), decoded, photo, index, large);
    ConvertPicture(settings(TPictureKind::Small, outDir), decoded, photo, index, small);
}

void convertTools(const std::string& photo, int index, const std::string& outDir) {
    const std::string ppm = outDir + "/src.ppm";
    if (bench::run({"djpeg", "-dct", "float", "-outfile", ppm, photo}) != 0)
        throw std::runtime_error("djpeg failed on " + photo);
    const QImage rgb = bench::readPpm(ppm);
    const struct {
        int rate;
        const char* name;
    } kinds[] = {{50, "L"}, {30, "S"}};
    for (const auto& k : kinds) {
        const std::string scaled = outDir + "/" + k.name + ".ppm";
        bench::writePpm(ScaleNearest(rgb, rgb.width() * k.rate / 100, rgb.height() * k.rate / 100),
                        scaled);
        const std::string jpg = outDir + "/" + k.name + std::to_string(index) + ".jpg";
        if (bench::run({"cjpeg", "-dct", "float", "-baseline", "-quality", "100", "-outfile", jpg,
                        scaled}) != 0)
            throw std::runtime_error("cjpeg failed");
    }
}

void convertImageMagick(const std::string& photo, int index, const std::string& outDir) {
    // One decode, two samples, two encodes, as the others do.
    const std::string n = std::to_string(index);
    if (bench::run({"convert",
                    photo,
                    "-write",
                    "mpr:src",
                    "+delete",
                    "(",
                    "mpr:src",
                    "-sample",
                    "50%",
                    "-quality",
                    "100",
                    "-write",
                    outDir + "/L" + n + ".jpg",
                    "+delete",
                    ")",
                    "mpr:src",
                    "-sample",
                    "30%",
                    "-quality",
                    "100",
                    outDir + "/S" + n + ".jpg"}) != 0)
        throw std::runtime_error("convert failed on " + photo);
}

double timeAlbumCommand(const std::vector<std::string>& photos, const std::string& outDir) {
    bench::run({"mkdir", "-p", outDir});
    {
        std::ofstream ini(outDir + "/Option.ini", std::ios::binary);
        ini << "[Large]\r\nQuality=100\r\n[Small]\r\nQuality=100\r\n";
    }
    std::vector<std::string> argv = {KELVORA_ALBUM_COMMAND, "--options", outDir + "/Option.ini",
                                     outDir + "/album.html"};
    argv.insert(argv.end(), photos.begin(), photos.end());
    const auto start = bench::Clock::now();
    if (bench::run(argv, {}, "/dev/null") != 0)
        throw std::runtime_error("kelvora-album failed");
    return bench::secondsSince(start);
}

template <class F> double timeCorpus(const std::vector<std::string>& photos, F convert) {
    const auto start = bench::Clock::now();
    int index = 0;
    for (const auto& photo : photos)
        convert(photo, index++);
    return bench::secondsSince(start);
}

int memoryCheck(const char* self, const std::string& corpus, const std::string& work) {
    const auto big = bench::listFiles(corpus + "/big", {".jpg"});
    if (big.empty()) {
        std::printf("memory: no picture in %s/big, skipped\n", corpus.c_str());
        return 0;
    }
    long rssKb = 0;
    if (bench::run({self, "--one", big[0], work + "/mem"}, {}, {}, &rssKb) != 0) {
        std::printf("memory: conversion failed\n");
        return 1;
    }
    TPicture header;
    header.loadFromFile(big[0]); // reads the header only
    const double w = header.width(), h = header.height();
    const double compressed = static_cast<double>(fs::file_size(work + "/mem/large/L0.jpg"));
    const double budget = w * h * 3 + (w / 2) * (h / 2) * 3 + compressed + 40.0 * 1024 * 1024;
    const double peak = rssKb * 1024.0;
    std::printf("memory: %s (%.0f x %.0f): peak %.1f MB, budget %.1f MB, ratio %.2f\n",
                fs::path(big[0]).filename().c_str(), w, h, peak / 1048576, budget / 1048576,
                peak / budget);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    registerPictureFormats(32);

    if (argc == 4 && std::string(argv[1]) == "--one") {
        convertOurs(argv[2], 0, argv[3]);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [REPS]\n", argv[0]);
        return 2;
    }
    const std::string corpus = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const auto photos = bench::listFiles(corpus + "/photos", {".jpg"});
    if (photos.empty()) {
        std::fprintf(stderr, "no photographs in %s/photos\n", corpus.c_str());
        return 2;
    }
    const std::string work =
        fs::temp_directory_path() / ("kelvora-bench-" + std::to_string(getpid()));
    fs::create_directories(work + "/ours");
    fs::create_directories(work + "/tools");

    // Alternate the sides and keep each one's best run, so that neither gains
    // from a warmer cache or a quieter moment.
    double ours = 1e300, tools = 1e300;
    for (int r = 0; r < reps; ++r) {
        tools = std::min(tools, timeCorpus(photos, [&](const std::string& p, int i) {
                             convertTools(p, i, work + "/tools");
                         }));
        ours = std::min(ours, timeCorpus(photos, [&](const std::string& p, int i) {
                            convertOurs(p, i, work + "/ours");
                        }));
    }
    std::printf("photos: %zu, best of %d\n", photos.size(), reps);
    std::printf("libjpeg-turbo tools: %.2f s\n", tools);
    std::printf("kelvora conversion:  %.2f s\n", ours);
    std::printf("ratio kelvora / tools: %.3f (target <= 1.15)\n", ours / tools);
    const int status = memoryCheck(argv[0], corpus, work);

    if (bench::run({"sh", "-c", "command -v convert >/dev/null"}) != 0) {
        std::printf("album: ImageMagick's convert is missing, skipped\n");
    } else {
        fs::create_directories(work + "/magick");
        double album = 1e300, magick = 1e300;
        for (int r = 0; r < reps; ++r) {
            magick = std::min(magick, timeCorpus(photos, [&](const std::string& p, int i) {
                                  convertImageMagick(p, i, work + "/magick");
                              }));
            album = std::min(album, timeAlbumCommand(photos, work + "/album"));
        }
        std::printf("album: kelvora-album %.2f s, ImageMagick %.2f s\n", album, magick);
        std::printf("ratio kelvora-album / tools: %.3f (target <= 1.3)\n", album / tools);
        std::printf("ratio kelvora-album / ImageMagick: %.3f (target < 1)\n", album / magick);
    }
    fs::remove_all(work);
    return status;
}

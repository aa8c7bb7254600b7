// Two workers against one, whatever the order of the pictures: the album command
// over real photographs in four orders, each timed with --jobs 1 and --jobs 2.
//
//   bench_order CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// The orders: twelve photos whose largest (about 16 MP) comes last, then the whole
// corpus by name, by increasing size and by decreasing size. For each it prints
// both times (the best of REPS, default 1, the two alternating) and the ratio
// 2 jobs / 1 job (target: at most 0.55). The 1-job run is the baseline.
#include "bench/bench_util.h"

#include <QGuiApplication>
#include <QImageReader>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Photo {
    std::string path;
    long long pixels;
};

// The album of `photos` written into `outDir` afresh; the command's time.
double albumSeconds(const std::vector<Photo>& photos, const std::string& outDir, int jobs,
                    const std::string& optionFile) {
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    std::vector<std::string> argv = {KELVORA_ALBUM_COMMAND, "--jobs",   std::to_string(jobs),
                                     "--options",           optionFile, outDir + "/album.html"};
    for (const Photo& p : photos)
        argv.push_back(p.path);
    const auto start = bench::Clock::now();
    if (bench::run(argv, {}, "/dev/null") != 0)
        throw std::runtime_error("kelvora-album failed");
    return bench::secondsSince(start);
}

// Twelve photos: the eleven first by name below the largest but one, then that one.
std::vector<Photo> largestLast(std::vector<Photo> byName) {
    std::vector<Photo> bySize = byName;
    std::sort(bySize.begin(), bySize.end(),
              [](const Photo& a, const Photo& b) { return a.pixels > b.pixels; });
    const Photo last = bySize.size() > 1 ? bySize[1] : bySize[0];
    std::vector<Photo> twelve;
    for (const Photo& p : byName)
        if (twelve.size() < 11 && p.pixels < last.pixels)
            twelve.push_back(p);
    twelve.push_back(last);
    return twelve;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [REPS]\n", argv[0]);
        return 2;
    }
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    std::vector<Photo> byName;
    for (const std::string& path : bench::listFiles(std::string(argv[1]) + "/photos", {".jpg"})) {
        const QSize size = QImageReader(QString::fromStdString(path)).size();
        byName.push_back({path, static_cast<long long>(size.width()) * size.height()});
    }
    if (byName.empty()) {
        std::fprintf(stderr, "no photographs in %s/photos\n", argv[1]);
        return 2;
    }
    std::vector<Photo> increasing = byName;
    std::stable_sort(increasing.begin(), increasing.end(),
                     [](const Photo& a, const Photo& b) { return a.pixels < b.pixels; });
    const std::vector<Photo> decreasing(increasing.rbegin(), increasing.rend());

    const std::string work =
        fs::temp_directory_path() / ("kelvora-order-" + std::to_string(getpid()));
    fs::create_directories(work);
    const std::string optionFile = work + "/Option.ini";
    std::ofstream(optionFile, std::ios::binary)
        << "[Large]\r\nQuality=100\r\n[Small]\r\nQuality=100\r\n";

    const struct {
        const char* name;
        std::vector<Photo> photos;
    } orders[] = {{"12 photos, largest last", largestLast(byName)},
                  {"corpus by name", byName},
                  {"corpus, increasing size", increasing},
                  {"corpus, decreasing size", decreasing}};
    std::printf("best of %d\n", reps);
    for (const auto& order : orders) {
        double one = 1e300, two = 1e300;
        for (int r = 0; r < reps; ++r) {
            one = std::min(one, albumSeconds(order.photos, work + "/album", 1, optionFile));
            two = std::min(two, albumSeconds(order.photos, work + "/album", 2, optionFile));
        }
        std::printf("%-26s %2zu photos: 1 job %.2f s, 2 jobs %.2f s, ratio %.3f (target <= 0.55)\n",
                    order.name, order.photos.size(), one, two, two / one);
    }
    fs::remove_all(work);
    return 0;
}

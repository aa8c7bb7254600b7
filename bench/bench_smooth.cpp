// Smooth scaling against nearest neighbour: the kelvora-album command over the
// corpus photographs with --smooth and without (one worker, quality 100, the
// default sizes 50 % and 30 %), alternating and keeping each side's best run.
//
//   bench_smooth CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// Prints the time ratio smooth / nearest neighbour (wall clock, and processor
// time, which a busy machine disturbs less; target at most 1.1), the PSNR of the
// small pictures against ImageMagick's `convert photo -filter Lanczos -resize
// WxH!` at the same size (target at least 38 dB; nearest neighbour alongside),
// and the peak memory of the album of the 46 MP picture with --smooth (target at
// most 40 MiB).
#include "bench/bench_util.h"
#include "tests/support/images.h"

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kelvora::test::psnr;

namespace {

struct Run {
    double seconds;
    double cpuSeconds;
    long peakKb;
};

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Run album(const std::vector<std::string>& photos, const std::string& outDir, bool smooth,
          bool measurePeak = false) {
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    {
        std::ofstream ini(outDir + "/Option.ini", std::ios::binary);
        ini << "[Large]\r\nQuality=100\r\n[Small]\r\nQuality=100\r\n";
    }
    std::vector<std::string> argv = {KELVORA_ALBUM_COMMAND, "--jobs", "1", "--options",
                                     outDir + "/Option.ini"};
    if (smooth)
        argv.push_back("--smooth");
    argv.push_back(outDir + "/album.html");
    argv.insert(argv.end(), photos.begin(), photos.end());
    long peakKb = 0;
    const double cpu = childCpuSeconds();
    const auto start = bench::Clock::now();
    if (bench::run(argv, {}, "/dev/null", measurePeak ? &peakKb : nullptr) != 0)
        throw std::runtime_error("kelvora-album failed");
    return {bench::secondsSince(start), childCpuSeconds() - cpu, peakKb};
}

struct Stats {
    double min = 1e300, sum = 0;
    int count = 0, below = 0;
    void add(double v, double threshold) {
        min = std::min(min, v);
        sum += v;
        ++count;
        below += v < threshold;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [REPS]\n", argv[0]);
        return 2;
    }
    const std::string corpus = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    const auto photos = bench::listFiles(corpus + "/photos", {".jpg"});
    if (photos.empty()) {
        std::fprintf(stderr, "no photographs in %s/photos\n", corpus.c_str());
        return 2;
    }
    const std::string work =
        fs::temp_directory_path() / ("kelvora-bench-smooth-" + std::to_string(getpid()));

    Run nearest{1e300, 1e300, 0}, smooth{1e300, 1e300, 0};
    for (int r = 0; r < reps; ++r) {
        const Run a = album(photos, work + "/nearest", false);
        const Run b = album(photos, work + "/smooth", true);
        nearest = {std::min(nearest.seconds, a.seconds), std::min(nearest.cpuSeconds, a.cpuSeconds),
                   0};
        smooth = {std::min(smooth.seconds, b.seconds), std::min(smooth.cpuSeconds, b.cpuSeconds),
                  0};
    }
    std::printf("photos: %zu, best of %d, one worker\n", photos.size(), reps);
    std::printf("nearest neighbour: %.2f s (processor %.2f s)\n", nearest.seconds,
                nearest.cpuSeconds);
    std::printf("smooth:            %.2f s (processor %.2f s)\n", smooth.seconds,
                smooth.cpuSeconds);
    std::printf("ratio smooth / nearest neighbour: %.3f, processor %.3f (target <= 1.1)\n",
                smooth.seconds / nearest.seconds, smooth.cpuSeconds / nearest.cpuSeconds);

    if (bench::run({"sh", "-c", "command -v convert >/dev/null"}) != 0) {
        std::printf("PSNR: ImageMagick's convert is missing, skipped\n");
    } else {
        Stats smoothSmall, nearestSmall;
        for (std::size_t i = 0; i < photos.size(); ++i) {
            const std::string name = "/Small/S" + std::to_string(i) + ".jpg";
            const QImage ours(QString::fromStdString(work + "/smooth" + name));
            const QImage picked(QString::fromStdString(work + "/nearest" + name));
            const std::string reference = work + "/reference.png";
            const std::string size =
                std::to_string(ours.width()) + "x" + std::to_string(ours.height()) + "!";
            if (bench::run(
                    {"convert", photos[i], "-filter", "Lanczos", "-resize", size, reference}) != 0)
                throw std::runtime_error("convert failed on " + photos[i]);
            const QImage lanczos(QString::fromStdString(reference));
            const double s = psnr(ours, lanczos);
            smoothSmall.add(s, 38);
            nearestSmall.add(psnr(picked, lanczos), 38);
            if (s < 38)
                std::printf("  below 38 dB: %s %.2f dB\n", fs::path(photos[i]).filename().c_str(),
                            s);
        }
        std::printf(
            "PSNR of the small pictures against ImageMagick's Lanczos (target >= 38 dB):\n");
        std::printf("  smooth:            min %.2f dB, mean %.2f dB, %d of %d below 38\n",
                    smoothSmall.min, smoothSmall.sum / smoothSmall.count, smoothSmall.below,
                    smoothSmall.count);
        std::printf("  nearest neighbour: min %.2f dB, mean %.2f dB, %d of %d below 38\n",
                    nearestSmall.min, nearestSmall.sum / nearestSmall.count, nearestSmall.below,
                    nearestSmall.count);
    }

    const auto big = bench::listFiles(corpus + "/big", {".jpg"});
    if (!big.empty()) {
        const Run plain = album(big, work + "/big-nearest", false, true);
        const Run filtered = album(big, work + "/big-smooth", true, true);
        std::printf("album of %s: peak %.1f MiB with --smooth (nearest neighbour %.1f MiB), "
                    "ratio to 40 MiB: %.3f (target <= 1)\n",
                    fs::path(big[0]).filename().c_str(), filtered.peakKb / 1024.0,
                    plain.peakKb / 1024.0, filtered.peakKb / 40960.0);
    }
    fs::remove_all(work);
    return 0;
}

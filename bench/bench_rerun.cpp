// Re-running an album of the corpus: an unchanged re-run against the first run
// (target: at most 0.1), and a re-run after one photo changed against the first
// run plus that photo's own time (target: at most 0.1 plus one picture).
//
//   bench_rerun CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// The photos are copied first, so that changing one leaves the corpus alone; the
// run's record, locks and trash go to a temporary folder. Each figure is the best
// of REPS runs (default 1: the first run is the long one).
#include "album/album_run.h"
#include "app/startup.h"
#include "bench/bench_util.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

struct Timed {
    double seconds;
    TAlbumRunResult result;
};

Timed runAlbum(const std::string& page, const std::vector<std::string>& photos, bool rebuild) {
    TStringList sources;
    for (const std::string& p : photos)
        sources.add(p);
    TAlbumJob job = MakeAlbumJob(page, sources, "/nonexistent/Option.ini");
    job.rebuild = rebuild;
    const auto start = bench::Clock::now();
    TAlbumRunResult result = RunAlbum(job, {});
    return {bench::secondsSince(start), std::move(result)};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    registerPictureFormats(32);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [REPS]\n", argv[0]);
        return 2;
    }
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const auto corpus = bench::listFiles(std::string(argv[1]) + "/photos", {".jpg"});
    if (corpus.empty()) {
        std::fprintf(stderr, "no photographs in %s/photos\n", argv[1]);
        return 2;
    }
    const std::string work =
        fs::temp_directory_path() / ("kelvora-bench-rerun-" + std::to_string(getpid()));
    fs::create_directories(work + "/home");
    fs::permissions(work + "/home", fs::perms::owner_all);
    for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        ::setenv(name, (work + "/home").c_str(), 1);
    fs::create_directories(work + "/photos");
    std::vector<std::string> photos;
    for (const std::string& p : corpus) {
        photos.push_back(work + "/photos/" + fs::path(p).filename().string());
        fs::copy_file(p, photos.back());
    }
    // The photo that changes: the one in the middle by size, so that its own time
    // is neither the smallest nor the largest.
    std::vector<std::string> bySize = photos;
    std::sort(bySize.begin(), bySize.end(),
              [](const auto& a, const auto& b) { return fs::file_size(a) < fs::file_size(b); });
    const std::string changed = bySize[bySize.size() / 2];

    const std::string page = work + "/site/album.html";
    double first = 1e300, unchanged = 1e300, afterChange = 1e300, alone = 1e300;
    for (int rep = 0; rep < reps; ++rep) {
        const Timed full = runAlbum(page, photos, true);
        const Timed same = runAlbum(page, photos, false);
        // A new mtime is a changed photo, as a saved edit is.
        struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000L + rep, 0}};
        ::utimensat(AT_FDCWD, changed.c_str(), times, 0);
        const Timed one = runAlbum(page, photos, false);
        const Timed single = runAlbum(work + "/single/album.html", {changed}, true);
        if (same.result.outputsConverted != 0 || one.result.outputsConverted != 2) {
            std::fprintf(stderr, "unexpected: %d and %d outputs converted\n",
                         same.result.outputsConverted, one.result.outputsConverted);
            return 1;
        }
        first = std::min(first, full.seconds);
        unchanged = std::min(unchanged, same.seconds);
        afterChange = std::min(afterChange, one.seconds);
        alone = std::min(alone, single.seconds);
    }
    std::printf("corpus: %zu photos, %d job(s), best of %d\n", photos.size(), DefaultJobCount(),
                reps);
    std::printf("first run                 %8.3f s\n", first);
    std::printf("unchanged re-run          %8.3f s   ratio %.4f (target <= 0.1)\n", unchanged,
                unchanged / first);
    std::printf("one photo alone           %8.3f s   (%s)\n", alone,
                fs::path(changed).filename().c_str());
    std::printf("re-run, one photo changed %8.3f s   (re-run - photo alone) / first = %.4f "
                "(target <= 0.1)\n",
                afterChange, (afterChange - alone) / first);
    fs::remove_all(work);
    return 0;
}

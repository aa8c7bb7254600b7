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
// with one worker and with two, against the tools and ImageMagick (convert ...
// -sample) doing the same work. Targets: two workers take at most 0.55 of one
// worker's time; the album's peak memory on the 46 MP picture is at most 40 MiB,
// and on the corpus with two workers at most 1.3 times that with one. The files
// of the album (streamed from the JPEG rows) are compared with those of decoding
// each photo whole.
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

struct AlbumRun {
    double seconds;
    long peakKb;
};

AlbumRun runAlbumCommand(const std::vector<std::string>& photos, const std::string& outDir,
                         int jobs) {
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    {
        std::ofstream ini(outDir + "/Option.ini", std::ios::binary);
        ini << "[Large]\r\nQuality=100\r\n[Small]\r\nQuality=100\r\n";
    }
    std::vector<std::string> argv = {KELVORA_ALBUM_COMMAND,  "--jobs",
                                     std::to_string(jobs),   "--options",
                                     outDir + "/Option.ini", outDir + "/album.html"};
    argv.insert(argv.end(), photos.begin(), photos.end());
    long peakKb = 0;
    const auto start = bench::Clock::now();
    if (bench::run(argv, {}, "/dev/null", &peakKb) != 0)
        throw std::runtime_error("kelvora-album failed");
    return {bench::secondsSince(start), peakKb};
}

// How many of the album's files equal those of decoding each photo whole.
int identicalToWholeDecoding(const std::vector<std::string>& photos, const std::string& album,
                             const std::string& work) {
    int same = 0;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const std::string n = std::to_string(i);
        fs::remove_all(work);
        convertOurs(photos[i], static_cast<int>(i), work);
        same += bench::readFile(album + "/large/L" + n + ".jpg") ==
                    bench::readFile(work + "/large/L" + n + ".jpg") &&
                bench::readFile(album + "/Small/S" + n + ".jpg") ==
                    bench::readFile(work + "/Small/S" + n + ".jpg");
    }
    return same;
}

template <class F> double timeCorpus(const std::vector<std::string>& photos, F convert) {
    const auto start = bench::Clock::now();
    int index = 0;
    for (const auto& photo : photos)
        convert(photo, index++);
    return bench::secondsSince(start);
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

    // The album, one worker against two, alternating.
    AlbumRun one{1e300, 0}, two{1e300, 0};
    for (int r = 0; r < reps; ++r) {
        const AlbumRun a = runAlbumCommand(photos, work + "/album1", 1);
        const AlbumRun b = runAlbumCommand(photos, work + "/album2", 2);
        one = {std::min(one.seconds, a.seconds), std::max(one.peakKb, a.peakKb)};
        two = {std::min(two.seconds, b.seconds), std::max(two.peakKb, b.peakKb)};
    }
    std::printf("album, 1 job:  %.2f s, peak %.1f MiB\n", one.seconds, one.peakKb / 1024.0);
    std::printf("album, 2 jobs: %.2f s, peak %.1f MiB\n", two.seconds, two.peakKb / 1024.0);
    std::printf("ratio 2 jobs / 1 job, time: %.3f (target <= 0.55)\n", two.seconds / one.seconds);
    std::printf("ratio 2 jobs / 1 job, peak memory: %.3f (target <= 1.3)\n",
                static_cast<double>(two.peakKb) / static_cast<double>(one.peakKb));
    const int same = identicalToWholeDecoding(photos, work + "/album2", work + "/whole");
    std::printf("album files equal to decoding whole: %d of %zu photos\n", same, photos.size());
    int status = same == static_cast<int>(photos.size()) ? 0 : 1;

    const auto big = bench::listFiles(corpus + "/big", {".jpg"});
    if (!big.empty()) {
        const AlbumRun b = runAlbumCommand(big, work + "/big", 1);
        std::printf("album of %s: peak %.1f MiB, ratio to 40 MiB: %.3f (target <= 1)\n",
                    fs::path(big[0]).filename().c_str(), b.peakKb / 1024.0, b.peakKb / 40960.0);
    }

    if (bench::run({"sh", "-c", "command -v convert >/dev/null"}) != 0) {
        std::printf("album: ImageMagick's convert is missing, skipped\n");
    } else {
        fs::create_directories(work + "/magick");
        double album = 1e300, magick = 1e300;
        for (int r = 0; r < reps; ++r) {
            magick = std::min(magick, timeCorpus(photos, [&](const std::string& p, int i) {
                                  convertImageMagick(p, i, work + "/magick");
                              }));
            album = std::min(album, runAlbumCommand(photos, work + "/album", 1).seconds);
        }
        std::printf("album: kelvora-album (1 job) %.2f s, ImageMagick %.2f s\n", album, magick);
        std::printf("ratio kelvora-album / tools: %.3f (target <= 1.3)\n", album / tools);
        std::printf("ratio kelvora-album / ImageMagick: %.3f (target < 1)\n", album / magick);
    }
    fs::remove_all(work);
    return status;
}

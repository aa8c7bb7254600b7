// Memory of an album of pictures in plug-in formats, end to end: kelvora-album
// with the shipped plug-ins converting a 12000 x 8000 PNG and a 6000 x 4000 HEIC,
// against the bitmap the plug-in decodes them into.
//
//   bench_plugin_memory CORPUS_DIR [REPS]     CORPUS_DIR as made by make-corpus.sh
//
// The pictures are made once from a corpus photograph (ImageMagick, heif-enc)
// in CORPUS_DIR/plugin-memory. Every 20 ms the proportional set size (Pss of
// /proc/PID/smaps_rollup) of the command and of all its descendants (the
// decoding helpers) is summed; the peak of that sum is set against the bitmap.
// Target: at most the bitmap plus 64 MiB. The baseline, measured in the same
// run by the same sampling, is the whole-picture path (this program run as
// "--whole": the picture loaded through the picture loader, then scaled and
// encoded whole, as the run converted plug-in pictures before); its files must
// equal the album's. The sides alternate, REPS times (default 2); each keeps
// its best time and its highest peak.
//
// Then four PNG files of 57 bytes, each declaring a tEXt, zTXt, iTXt or PLTE
// chunk of 2^30 - 1 bytes and ending there: the command must refuse each in
// under 100 ms and 100 MiB (the whole-picture path beside it).
#include "album/picture_converter.h"
#include "album/picture_settings.h"
#include "app/startup.h"
#include "base/file_io.h"
#include "base/picture.h"
#include "bench/bench_util.h"
#include "spi/decoder_process.h"
#include "spi/spis.h"

#include <QGuiApplication>
#include <QtEndian>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Parent of every process, from /proc/PID/stat.
std::map<pid_t, pid_t> parents() {
    std::map<pid_t, pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc)
        return out;
    while (dirent* e = readdir(proc)) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        const std::string stat = bench::readFile("/proc/" + std::string(e->d_name) + "/stat");
        const auto close = stat.rfind(')'); // the command name may hold anything
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2)
            out[pid] = ppid;
    }
    closedir(proc);
    return out;
}

long pssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "Pss:" && in >> value)
            return value;
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

struct TreePss {
    long rootKb = 0;        // the process itself
    long descendantsKb = 0; // every process below it
};

TreePss treePss(pid_t root) {
    const std::map<pid_t, pid_t> parent = parents();
    TreePss total;
    for (const auto& [pid, ppid] : parent) {
        pid_t p = ppid;
        while (p > 1 && p != root) {
            const auto it = parent.find(p);
            p = it == parent.end() ? 0 : it->second;
        }
        if (pid == root)
            total.rootKb = pssKb(pid);
        else if (p == root)
            total.descendantsKb += pssKb(pid);
    }
    return total;
}

struct Sampled {
    double seconds = 1e300;
    long peakKb = 0;        // of the sum
    long rootPeakKb = 0;    // of the program alone
    long helpersPeakKb = 0; // of its helpers alone
    int status = -1;
};

// Runs the program (output to /dev/null) and samples its tree every 20 ms; the
// best time and highest peaks go into s.
void runSampled(Sampled& s, const std::vector<std::string>& argv) {
    const auto start = bench::Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    for (;;) {
        const TreePss now = treePss(pid);
        s.peakKb = std::max(s.peakKb, now.rootKb + now.descendantsKb);
        s.rootPeakKb = std::max(s.rootPeakKb, now.rootKb);
        s.helpersPeakKb = std::max(s.helpersPeakKb, now.descendantsKb);
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            s.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        usleep(20000);
    }
    s.seconds = std::min(s.seconds, bench::secondsSince(start));
}

TPictureSettings outputSettings(TPictureKind kind, const std::string& page) {
    TPictureSettings s = DefaultPictureSettings(kind);
    s.OutputFolder = fs::path(page).parent_path().string() + "/" + s.Folder + "/";
    return s;
}

// Today's whole-picture path in this process: what the run did before.
int wholePath(const std::string& page, const std::string& picture) {
    releaseLargeBlocksAtOnce();
    registerPictureFormats(32);
    TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
    TSPIs spis;
    spis.GraphicPreview = false;
    spis.Search(std::string(KELVORA_PLUGIN_DIR) + "/*.spi");
    QImage image;
    {
        TPicture loaded;
        loaded.loadFromFile(picture);
        image = loaded.graphic()->image();
    }
    for (TPictureKind kind : {TPictureKind::Large, TPictureKind::Small}) {
        const TPictureSettings s = outputSettings(kind, page);
        fs::create_directories(s.OutputFolder);
        writeWholeFile(TargetFileName(s, picture, 0), EncodeScaledPicture(s, image));
    }
    return 0;
}

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::string chunk(const char* type, const std::string& data) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    out += typed;
    put32(out, static_cast<std::uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
    return out;
}

// A PNG signature, the header of a 1 x 1 picture, and a chunk of the type that
// declares 2^30 - 1 bytes of which only the first 16 follow: 57 bytes.
std::string chunkBomb(const char* type) {
    std::string ihdr;
    put32(ihdr, 1);
    put32(ihdr, 1);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    std::string out = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr);
    put32(out, (1u << 30) - 1);
    out += type;
    out += std::string("Comment\0Kelvora\0", 16);
    return out;
}

void make(const std::vector<std::string>& argv, const std::string& result) {
    if (!fs::exists(result) && bench::run(argv, {}, "/dev/null") != 0)
        throw std::runtime_error("cannot make " + result);
}

std::string optionFile(const std::string& work) {
    const std::string ini = work + "/Option.ini";
    std::ofstream(ini, std::ios::binary) << "";
    return ini;
}

struct Sides {
    Sampled ours, whole;
    bool same = true;
};

// kelvora-album and the whole-picture path on the picture, alternating.
Sides convertBoth(const std::string& self, const std::string& work, const std::string& picture,
                  int reps) {
    const std::string page = work + "/site/album.html";
    Sides sides;
    for (int r = 0; r < reps; ++r) {
        fs::remove_all(work + "/site");
        runSampled(sides.ours, {KELVORA_ALBUM_COMMAND, "--jobs", "1", "--options", optionFile(work),
                                page, picture});
        const std::string large = bench::readFile(work + "/site/large/L0.jpg");
        const std::string small = bench::readFile(work + "/site/Small/S0.jpg");
        fs::remove_all(work + "/site");
        runSampled(sides.whole, {self, "--whole", page, picture});
        sides.same = sides.same && large == bench::readFile(work + "/site/large/L0.jpg") &&
                     small == bench::readFile(work + "/site/Small/S0.jpg");
    }
    fs::remove_all(work + "/site");
    return sides;
}

const char* failed(const Sampled& s) {
    return s.status == 0 ? "" : ", FAILED";
}

void album(const std::string& self, const std::string& work, const char* what,
           const std::string& picture, std::size_t bitmap, int reps) {
    const Sides s = convertBoth(self, work, picture, reps);
    const Sampled& ours = s.ours;
    const Sampled& whole = s.whole;
    const double over = (ours.peakKb * 1024.0 - static_cast<double>(bitmap)) / kMiB;
    std::printf("%s: bitmap %.1f MiB\n", what, static_cast<double>(bitmap) / kMiB);
    std::printf("  kelvora-album:      %.2f s, peak PSS %.1f MiB, ratio %.2f, %.1f MiB over "
                "(target <= 64 MiB over)%s\n",
                ours.seconds, ours.peakKb / 1024.0, ours.peakKb * 1024.0 / bitmap, over,
                failed(ours));
    std::printf("  whole-picture path: %.2f s, peak PSS %.1f MiB, ratio %.2f%s\n", whole.seconds,
                whole.peakKb / 1024.0, whole.peakKb * 1024.0 / bitmap, failed(whole));
    std::printf("  peaks apart, program / helpers: kelvora-album %.1f / %.1f MiB, whole-picture "
                "path %.1f / %.1f MiB\n",
                ours.rootPeakKb / 1024.0, ours.helpersPeakKb / 1024.0, whole.rootPeakKb / 1024.0,
                whole.helpersPeakKb / 1024.0);
    std::printf("  files equal to the whole-picture path's: %s\n",
                s.same && ours.status == 0 ? "yes" : "NO");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--whole") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        try {
            return wholePath(argv[2], argv[3]);
        } catch (const std::exception&) {
            return 1; // a picture no plug-in reads
        }
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_plugin_memory CORPUS_DIR\n");
        return 2;
    }
    const std::string corpus = argv[1];
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    const std::string self = fs::canonical("/proc/self/exe").string();
    const auto photos = bench::listFiles(corpus + "/photos", {".jpg"});
    if (photos.empty()) {
        std::fprintf(stderr, "no photographs in %s/photos\n", corpus.c_str());
        return 2;
    }
    const std::string dir = corpus + "/plugin-memory";
    fs::create_directories(dir);
    const std::string png = dir + "/photo-12000x8000.png";
    const std::string heicSource = dir + "/photo-6000x4000.png";
    const std::string heic = dir + "/photo-6000x4000.heic";
    make({"convert", photos[0], "-resize", "12000x8000!", "PNG24:" + png}, png);
    make({"convert", photos[0], "-resize", "6000x4000!", "PNG24:" + heicSource}, heicSource);
    make({"heif-enc", "-q", "80", "-o", heic, heicSource}, heic);

    const std::string work =
        fs::temp_directory_path() / ("kelvora-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    // 24-bit rows, each padded to 4 bytes.
    album(self, work, "PNG 12000 x 8000", png, std::size_t{36000} * 8000, reps);
    album(self, work, "HEIC 6000 x 4000", heic, std::size_t{18000} * 4000, reps);

    std::printf("PNG chunk bombs (57 bytes; target < 100 ms and < 100 MiB):\n");
    for (const char* type : {"tEXt", "zTXt", "iTXt", "PLTE"}) {
        const std::string bomb = work + "/bomb-" + type + ".png";
        std::ofstream(bomb, std::ios::binary) << chunkBomb(type);
        const Sides s = convertBoth(self, work, bomb, 1);
        std::printf("  %s (%zu bytes): kelvora-album %.0f ms, peak PSS %.1f MiB, %s; "
                    "whole-picture path %.0f ms, %.1f MiB\n",
                    type, static_cast<std::size_t>(fs::file_size(bomb)), s.ours.seconds * 1000,
                    s.ours.peakKb / 1024.0, s.ours.status == 0 ? "converted" : "refused",
                    s.whole.seconds * 1000, s.whole.peakKb / 1024.0);
    }
    fs::remove_all(work);
    return 0;
}

// Copying as a drop does it (temporary name, flushed, permissions and times
// kept, renamed into place) against std::filesystem::copy of the same tree in
// the same run, once without flushing and once followed by one syncfs, the
// cheapest way to have the same data on disk.
//
//   bench_copy [FOLDER] [SMALL_FILES] [BIG_MB]
//
// FOLDER (default: a temporary folder under /tmp) receives the source trees and
// the copies. Two trees: SMALL_FILES files of 4 KiB (default 2000) and one file
// of BIG_MB MiB (default 64). Target: the big file within 1.5 times the flushed
// baseline; small files are dominated by one fsync each.
#include "shell/ops/file_operation.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void syncFs(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

struct Timing {
    double ours, plain, flushed;
};

Timing measure(const std::string& source, const std::string& work) {
    Timing t{};
    for (int pass = 0; pass < 3; ++pass) {
        const std::string target = work + "/out";
        fs::remove_all(target);
        fs::create_directories(target);
        syncFs(work);
        auto start = Clock::now();
        switch (pass) {
        case 0: {
            std::atomic<bool> cancel{false};
            TShFileCopier copier({TShFileOp::Copy, {source}, target}, nullptr, nullptr, cancel);
            const TShOperationResult r = copier.Run();
            if (r.done != 1 || !r.errors.isEmpty()) {
                std::fprintf(stderr, "copy failed\n");
                std::exit(1);
            }
            t.ours = secondsSince(start);
            break;
        }
        case 1:
            fs::copy(source, target + "/" + fs::path(source).filename().string(),
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            t.plain = secondsSince(start);
            break;
        case 2:
            fs::copy(source, target + "/" + fs::path(source).filename().string(),
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            syncFs(target);
            t.flushed = secondsSince(start);
            break;
        }
    }
    fs::remove_all(work + "/out");
    return t;
}

void report(const char* name, const Timing& t) {
    std::printf("%-22s ours %8.3f s | filesystem::copy %8.3f s (ratio %5.2f) | + syncfs %8.3f s "
                "(ratio %5.2f)\n",
                name, t.ours, t.plain, t.ours / t.plain, t.flushed, t.ours / t.flushed);
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : std::string();
    const int smallFiles = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int bigMb = argc > 3 ? std::atoi(argv[3]) : 64;
    if (folder.empty()) {
        char pattern[] = "/tmp/kelvora-bench-copy-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    const std::string small = folder + "/small", big = folder + "/big";
    fs::create_directories(small);
    fs::create_directories(big);
    const std::string block(4096, 's');
    for (int i = 0; i < smallFiles; ++i)
        std::ofstream(small + "/f" + std::to_string(i) + ".txt", std::ios::binary) << block;
    {
        std::ofstream out(big + "/big.bin", std::ios::binary);
        const std::string mb(1 << 20, 'b');
        for (int i = 0; i < bigMb; ++i)
            out << mb;
    }
    std::printf("copy into %s (%d small files, %d MiB file)\n", folder.c_str(), smallFiles, bigMb);
    report("small files", measure(small, folder));
    report("big file", measure(big, folder));
    fs::remove_all(folder);
    return 0;
}

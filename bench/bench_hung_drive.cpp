// How long a network drive that never answers holds the window up. The first
// question about it waits out the time limit; every later question, about the
// drive or any folder on it, answers at once. Measured against a question about
// a live folder in the same run (which starts a helper thread too).
//
//   bench_hung_drive [REPS]
//
// Needs root: the drive is a FUSE file system nobody serves, mounted in a mount
// namespace of the benchmark's own. Target: a later question costs no more
// than 3 times a question about a live folder.
#include "bench/bench_util.h"
#include "shell/items/drive_ready.h"
#include "tests/shell/hung_mount.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

using namespace bench;
using namespace kelvora;

namespace {

constexpr int kLimitMs = 300;

template <class F> double medianMicroseconds(int reps, F&& question) {
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        const auto start = Clock::now();
        question(i);
        times.push_back(secondsSince(start) * 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    if (!kelvora::test::EnterPrivateMountNamespace()) {
        std::printf("bench_hung_drive: skipped (needs root for a mount namespace)\n");
        return 0;
    }
    char pattern[] = "/tmp/kelvora-hung-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string live = dir + "/live";
    std::filesystem::create_directories(live);
    std::string error;
    const std::string nas = dir + "/nas";
    const int fuse = kelvora::test::MountUnservedFuse(nas, error);
    if (fuse < 0) {
        std::printf("bench_hung_drive: skipped (%s)\n", error.c_str());
        return 0;
    }

    const double liveUs = medianMicroseconds(reps, [&](int) { ShFolderReady(live, kLimitMs); });
    const auto start = Clock::now();
    const bool firstReady = ShFolderReady(nas + "/photos", kLimitMs);
    const double firstMs = secondsSince(start) * 1e3;
    const double folderUs = medianMicroseconds(
        reps, [&](int i) { ShFolderReady(nas + "/photos/" + std::to_string(i), kLimitMs); });
    const double driveUs = medianMicroseconds(reps, [&](int) { ShDriveReady(nas, kLimitMs); });

    std::printf("question about a live folder:          %9.1f us (baseline)\n", liveUs);
    std::printf("first question about the hung drive:   %9.1f ms (time limit %d ms)%s\n", firstMs,
                kLimitMs, firstReady ? " (answered: no hang?)" : "");
    std::printf("later, about another folder on it:     %9.1f us = %.2f x baseline (target <= 3)\n",
                folderUs, folderUs / liveUs);
    std::printf("later, about the drive itself:         %9.1f us = %.2f x baseline (target <= 3)\n",
                driveUs, driveUs / liveUs);

    ::close(fuse); // every question still waiting on it fails now
    ::umount2(nas.c_str(), MNT_DETACH);
    std::filesystem::remove_all(dir);
    return 0;
}

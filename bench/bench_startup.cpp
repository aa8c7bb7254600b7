// Start-up time to the first window shown on the X server, warm and cold, for Kelvora
// and for a minimal Qt Widgets program measured in the same run.
//   bench_startup KELVORA BASELINE [RUNS]     (needs DISPLAY: run under xvfb-run)
// "Shown" is the moment the X server maps the program's window (MapNotify on the root).
// A cold run first evicts the page cache of every file the program mapped in a warm run
// (its executable, libraries, plug-ins, fonts), with posix_fadvise, so other processes'
// caches are left alone; files mapped by other running programs stay cached.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double firstMs = 0;  // the first window mapped
    double secondMs = 0; // the second window mapped (0 when there is none in time)
    std::set<std::string> mappedFiles;
};

std::set<std::string> mappedFilesOf(pid_t pid) {
    std::set<std::string> files;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash != std::string::npos && line.find(" (deleted)") == std::string::npos)
            files.insert(line.substr(slash));
    }
    return files;
}

void evict(const std::set<std::string>& files) {
    for (const std::string& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Starts the program and waits for its windows to be mapped: `windows` of them, or
// until the time limit. Returns nothing when no window appeared.
std::optional<Run> measure(xcb_connection_t* x, const std::string& program, int windows) {
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const Clock::time_point t0 = Clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return std::nullopt;
    Run run;
    int seen = 0;
    const int fd = xcb_get_file_descriptor(x);
    while (seen < windows && msSince(t0) < 20000) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
            if ((e->response_type & 0x7F) == XCB_MAP_NOTIFY && seen < windows) {
                (seen == 0 ? run.firstMs : run.secondMs) = msSince(t0);
                ++seen;
            }
            std::free(e);
        }
        if (seen < windows) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            timeval tv{0, 20000};
            ::select(fd + 1, &set, nullptr, nullptr, &tv);
        }
    }
    run.mappedFiles = mappedFilesOf(pid);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    // Let the server report the windows going away before the next run.
    xcb_flush(x);
    ::usleep(100000);
    while (xcb_generic_event_t* e = xcb_poll_for_event(x))
        std::free(e);
    if (seen == 0)
        return std::nullopt;
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Result {
    double warmFirst, warmSecond, coldFirst, coldSecond;
};

Result measureMany(xcb_connection_t* x, const std::string& program, int windows, int runs) {
    std::vector<double> warmFirst, warmSecond, coldFirst, coldSecond;
    std::set<std::string> files;
    // One run to warm the caches and learn the files, then alternate warm and cold.
    if (auto r = measure(x, program, windows))
        files = r->mappedFiles;
    for (int i = 0; i < runs; ++i) {
        if (auto r = measure(x, program, windows)) {
            warmFirst.push_back(r->firstMs);
            warmSecond.push_back(r->secondMs);
        }
        evict(files);
        if (auto r = measure(x, program, windows)) {
            coldFirst.push_back(r->firstMs);
            coldSecond.push_back(r->secondMs);
        }
    }
    return {median(warmFirst), median(warmSecond), median(coldFirst), median(coldSecond)};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_startup KELVORA BASELINE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 2;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    const Result base = measureMany(x, argv[2], 1, runs);
    const Result kelvora = measureMany(x, argv[1], 2, runs);
    xcb_disconnect(x);

    std::printf("Start-up to a window shown, median of %d runs each (ms; ratio to the baseline)\n",
                runs);
    std::printf("%-34s %8s %8s %8s %8s\n", "", "warm", "ratio", "cold", "ratio");
    const auto row = [&](const char* name, double warm, double cold) {
        std::printf("%-34s %8.1f %8.2f %8.1f %8.2f\n", name, warm, warm / base.warmFirst, cold,
                    cold / base.coldFirst);
    };
    row("baseline: minimal Qt window", base.warmFirst, base.coldFirst);
    row("kelvora: splash (first window)", kelvora.warmFirst, kelvora.coldFirst);
    row("kelvora: main window", kelvora.warmSecond, kelvora.coldSecond);
    return 0;
}

#pragma once
// Small pieces shared by the benchmarks: timing, child processes, PPM files.
#include <QImage>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs argv (argv[0] looked up in PATH), optionally with stdin/stdout redirected
// to files; returns the exit status and, in maxRssKb, the child's peak memory
// (measured by GNU time, /usr/bin/time).
int run(const std::vector<std::string>& argv, const std::string& stdinFile = {},
        const std::string& stdoutFile = {}, long* maxRssKb = nullptr);

// The whole file; "" when it cannot be read.
std::string readFile(const std::string& fileName);

// Files of a folder whose names end in one of the extensions, sorted.
std::vector<std::string> listFiles(const std::string& folder, const std::vector<std::string>& exts);

// Binary PPM/PGM (P6/P5) reading and writing, for the command-line tools' side.
QImage readPpm(const std::string& fileName);
void writePpm(const QImage& rgb888OrGrey8, const std::string& fileName);

} // namespace bench

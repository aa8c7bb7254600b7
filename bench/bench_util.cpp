#include "bench/bench_util.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

std::string readFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int run(const std::vector<std::string>& given, const std::string& stdinFile,
        const std::string& stdoutFile, long* maxRssKb) {
    // A child's peak memory as wait4 reports it includes this process's own at
    // the fork (the kernel keeps the larger across exec), so the peak is taken
    // by GNU time, which forks the command from a small process of its own.
    std::vector<std::string> argv = given;
    char rssFile[] = "/tmp/kelvora-bench-rss-XXXXXX";
    if (maxRssKb) {
        const int fd = mkstemp(rssFile);
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        close(fd);
        argv.insert(argv.begin(), {"/usr/bin/time", "-f", "%M", "-o", rssFile, "--"});
    }
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!stdinFile.empty()) {
            const int fd = open(stdinFile.c_str(), O_RDONLY);
            dup2(fd, 0);
        }
        if (!stdoutFile.empty()) {
            const int fd = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (maxRssKb) {
        std::ifstream in(rssFile);
        *maxRssKb = 0;
        in >> *maxRssKb;
        unlink(rssFile);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::vector<std::string> listFiles(const std::string& folder,
                                   const std::vector<std::string>& exts) {
    std::vector<std::string> out;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            for (const auto& ext : exts)
                if (name.size() > ext.size() &&
                    name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
                    out.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    std::sort(out.begin(), out.end());
    return out;
}

QImage readPpm(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if ((magic != "P6" && magic != "P5") || w <= 0 || h <= 0 || maxval != 255)
        throw std::runtime_error("not a P5/P6 file: " + fileName);
    const bool grey = magic == "P5";
    QImage image(w, h, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        in.read(reinterpret_cast<char*>(image.scanLine(y)), (grey ? 1LL : 3LL) * w);
    return image;
}

void writePpm(const QImage& image, const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary);
    const bool grey = image.format() == QImage::Format_Grayscale8;
    out << (grey ? "P5\n" : "P6\n") << image.width() << " " << image.height() << "\n255\n";
    for (int y = 0; y < image.height(); ++y)
        out.write(reinterpret_cast<const char*>(image.constScanLine(y)),
                  (grey ? 1LL : 3LL) * image.width());
}

} // namespace bench

#include "bench/listing_util.h"

#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

double wallMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double cpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
}

std::size_t readdirAndLstat(const std::string& folder) {
    DIR* d = opendir(folder.c_str());
    if (!d)
        return 0;
    const int fd = dirfd(d);
    std::vector<std::string> names;
    struct stat st;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2])))
            continue;
        names.emplace_back(e->d_name);
        fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW);
    }
    closedir(d);
    return names.size();
}

std::string makeListingFolder() {
    std::string dir = (std::filesystem::temp_directory_path() / "kelvora-listing-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return {};
    const char* exts[] = {".jpg", ".JPG", ".png", ".txt"};
    for (int i = 1; i <= 20000; ++i) {
        char name[64];
        const int r = i % 20;
        std::snprintf(name, sizeof name, "/IMG_%05d%s", i, exts[r < 17 ? 0 : r - 16]);
        const int fd = open((dir + name).c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0)
            close(fd);
    }
    return dir;
}

ListingFolder::ListingFolder(std::string wanted) : path_(std::move(wanted)) {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) {
        std::printf("%s does not exist; making 20,000 files\n", path_.c_str());
        path_ = makeListingFolder();
        made_ = true;
    }
    kelvora::PItemIDList parsed = nullptr;
    if (path_.empty() || !kelvora::TVelShID::IDParse(path_, parsed)) {
        std::fprintf(stderr, "cannot open %s\n", path_.c_str());
        return;
    }
    id_.reset(parsed);
    entries_ = readdirAndLstat(path_);
}

ListingFolder::~ListingFolder() {
    if (made_ && !path_.empty())
        std::filesystem::remove_all(path_);
}

} // namespace bench

#pragma once
// What the folder-listing benchmarks share: timers, medians, the floor any
// listing has to pay (readdir + lstat) and a folder of 20,000 files when the
// corpus is not at hand.
#include "shell/items/id_list.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace bench {

double wallMs();
double cpuMs();

struct Times {
    double wall = 0;
    double cpu = 0;
};

template <class F> Times measure(F&& f) {
    const double w = wallMs(), c = cpuMs();
    f();
    return {wallMs() - w, cpuMs() - c};
}

// The value below which the fraction p (0..1) of the values lie.
double percentile(std::vector<double> values, double p);
inline double median(std::vector<double> values) {
    return percentile(std::move(values), 0.5);
}

// Reads the folder's names and lstats each entry; returns the number of entries.
std::size_t readdirAndLstat(const std::string& folder);

// 20,000 empty files named like the corpus's in a new temporary folder; empty
// when it cannot be made. The caller removes it.
std::string makeListingFolder();

// The folder a listing benchmark reads: the one asked for when it exists, else
// one made by makeListingFolder (and removed again with this object). Reading
// its entries once warms the dentry cache.
class ListingFolder {
public:
    explicit ListingFolder(std::string wanted);
    ~ListingFolder();
    ListingFolder(const ListingFolder&) = delete;
    ListingFolder& operator=(const ListingFolder&) = delete;

    // False (with a message printed) when the folder cannot be had.
    bool ok() const { return id_ != nullptr; }
    const std::string& path() const { return path_; }
    kelvora::PCItemIDList id() const { return id_.get(); }
    std::size_t entries() const { return entries_; }

private:
    std::string path_;
    bool made_ = false;
    kelvora::TIDListPtr id_;
    std::size_t entries_ = 0;
};

} // namespace bench

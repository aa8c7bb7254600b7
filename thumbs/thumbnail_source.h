#pragma once
// Thumbnails from the cache that file managers and photo tools share (the
// freedesktop Thumbnail Managing Standard): "normal" holds pictures of at most
// 128 x 128 pixels, "large" 256, "x-large" 512, "xx-large" 1024, each named by
// the MD5 of the file's URI (thumbnail_uri.h). A stored thumbnail is used while
// its URI and MTime keys are the file's; a valid one another program wrote is
// used as it is and never written over. Missing or stale ones are made
// (thumbnail_maker.h) and stored atomically, mode 0600, in folders of mode 0700;
// a picture that cannot be read gets a fail entry (fail_entry.h). Pictures inside
// the cache folder itself are never made into thumbnails.
//
// Limits: a cache file is read only when it is a regular file no larger than a
// thumbnail of its folder can be (thumbnail_png.h); pictures the program would
// refuse to decode (base/bitmap.h) are refused here too.
//
// Threading: Get and Cached may run on several worker threads at once; the object
// holds no state that they change but a decode counter. Get decodes, so it never
// runs on the GUI thread.
#include <QImage>
#include <atomic>
#include <optional>
#include <string>

namespace kelvora {
class TSPIs;

// "$XDG_CACHE_HOME/thumbnails", or "~/.cache/thumbnails" when unset or not absolute.
std::string ThumbnailCacheRoot();

class TThumbnailSource {
public:
    // plugins: the program's plug-in manager, or null for built-in formats only.
    explicit TThumbnailSource(std::string cacheRoot = ThumbnailCacheRoot(),
                              TSPIs* plugins = nullptr);

    // Thread-safe, called on several worker threads at once, never on the GUI thread.
    // The upright thumbnail of path, fitting in size x size (128: "normal", 256: "large"),
    // from the cache when a valid one is there, else made and stored. Nothing when path is
    // no picture file the loader reads, cannot be read (a fail entry is then written), lies
    // inside the cache folder, or *cancelled became true (checked between steps).
    // The image is Format_RGB32, or Format_ARGB32_Premultiplied when it has alpha.
    std::optional<QImage> Get(const std::string& path, int size,
                              const std::atomic<bool>* cancelled = nullptr) const;
    // Only a valid cached thumbnail, never a decode: for a quick first screen.
    std::optional<QImage> Cached(const std::string& path, int size) const;

    const std::string& CacheRoot() const { return cacheRoot_; }
    // How many pictures Get has decoded so far, for tests and benchmarks.
    int Decodes() const { return decodes_.load(); }

private:
    struct Entry; // the file's URI, cache name and modification time
    std::optional<Entry> entryFor(const std::string& path, int size) const;
    std::optional<QImage> cached(const Entry& entry, int size) const;
    bool insideCache(const std::string& path) const;

    std::string cacheRoot_;
    TSPIs* plugins_;
    mutable std::atomic<int> decodes_{0};
};

} // namespace kelvora

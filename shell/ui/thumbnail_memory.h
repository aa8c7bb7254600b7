#pragma once
// TShThumbnailMemory: thumbnails held in memory for every folder the file list
// has shown, so that going back to a folder, or scrolling back, needs neither a
// decode nor a read of the thumbnail cache on disk.
//
// An entry belongs to a file's path (its bytes) and the pixel size it was made
// for, and records the file's modification time: it answers only for that
// time, so a changed file misses and is made again (its new thumbnail then
// replaces the entry). Bounded in bytes (the images' pixels and the paths):
// adding beyond the bound pushes the least recently used entries out; one image
// larger than the whole bound is not kept.
//
// Threads: any; every call takes the one lock, never for longer than a lookup
// or an insertion (images are shared, not copied).
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace kelvora {

class TShThumbnailMemory {
public:
    static constexpr std::size_t kDefaultBudget = std::size_t{64} << 20;

    explicit TShThumbnailMemory(std::size_t budgetBytes = kDefaultBudget) : budget_(budgetBytes) {}
    TShThumbnailMemory(const TShThumbnailMemory&) = delete;
    TShThumbnailMemory& operator=(const TShThumbnailMemory&) = delete;

    // The thumbnail of path at size made for modification time mtime; a hit
    // becomes the most recently used entry.
    std::optional<QImage> Find(const std::string& path, int size, std::int64_t mtime);
    // Whatever is held for path at size, whichever time it was made for (the
    // list shows it until the file has been looked at again); no reordering.
    std::optional<QImage> Peek(const std::string& path, int size, std::int64_t* mtime = nullptr);
    // The modification time the entry for path at size was made for.
    std::optional<std::int64_t> HeldTime(const std::string& path, int size);
    // Keeps image as the most recently used entry, replacing one for another time.
    void Insert(const std::string& path, int size, std::int64_t mtime, QImage image);
    void Clear();

    std::size_t Bytes() const;
    std::size_t Count() const;
    std::size_t Budget() const { return budget_; }
    // Bytes an entry counts for.
    static std::size_t CostOf(const std::string& path, const QImage& image);

private:
    struct Entry {
        std::string key;
        std::int64_t mtime = 0;
        QImage image;
        std::size_t cost = 0;
    };
    using Order = std::list<Entry>; // most recently used first
    static std::string keyOf(const std::string& path, int size);
    void eraseLocked(Order::iterator it);

    const std::size_t budget_;
    mutable std::mutex lock_;
    Order order_;
    std::unordered_map<std::string, Order::iterator> index_;
    std::size_t bytes_ = 0;
};

} // namespace kelvora

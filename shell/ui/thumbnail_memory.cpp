#include "shell/ui/thumbnail_memory.h"

namespace kelvora {

std::string TShThumbnailMemory::keyOf(const std::string& path, int size) {
    // The size first, as text ending in a byte no path holds: no two keys collide.
    std::string key = std::to_string(size);
    key += '\0';
    key += path;
    return key;
}

std::size_t TShThumbnailMemory::CostOf(const std::string& path, const QImage& image) {
    return static_cast<std::size_t>(image.sizeInBytes()) + path.size() + sizeof(Entry);
}

void TShThumbnailMemory::eraseLocked(Order::iterator it) {
    bytes_ -= it->cost;
    index_.erase(it->key);
    order_.erase(it);
}

std::optional<QImage> TShThumbnailMemory::Find(const std::string& path, int size,
                                               std::int64_t mtime) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto hit = index_.find(keyOf(path, size));
    if (hit == index_.end() || hit->second->mtime != mtime)
        return std::nullopt;
    order_.splice(order_.begin(), order_, hit->second);
    return hit->second->image;
}

std::optional<QImage> TShThumbnailMemory::Peek(const std::string& path, int size,
                                               std::int64_t* mtime) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto hit = index_.find(keyOf(path, size));
    if (hit == index_.end())
        return std::nullopt;
    if (mtime)
        *mtime = hit->second->mtime;
    return hit->second->image;
}

std::optional<std::int64_t> TShThumbnailMemory::HeldTime(const std::string& path, int size) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto hit = index_.find(keyOf(path, size));
    if (hit == index_.end())
        return std::nullopt;
    return hit->second->mtime;
}

void TShThumbnailMemory::Insert(const std::string& path, int size, std::int64_t mtime,
                                QImage image) {
    std::string key = keyOf(path, size);
    const std::size_t cost = CostOf(path, image);
    const std::lock_guard<std::mutex> hold(lock_);
    if (const auto old = index_.find(key); old != index_.end())
        eraseLocked(old->second);
    if (cost > budget_)
        return;
    while (!order_.empty() && bytes_ + cost > budget_)
        eraseLocked(std::prev(order_.end()));
    order_.push_front(Entry{key, mtime, std::move(image), cost});
    index_.emplace(std::move(key), order_.begin());
    bytes_ += cost;
}

void TShThumbnailMemory::Clear() {
    const std::lock_guard<std::mutex> hold(lock_);
    order_.clear();
    index_.clear();
    bytes_ = 0;
}

std::size_t TShThumbnailMemory::Bytes() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return bytes_;
}

std::size_t TShThumbnailMemory::Count() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return order_.size();
}

} // namespace kelvora

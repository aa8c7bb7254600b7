#include "app/list_thumbnails.h"

#include "thumbs/thumbnail_source.h"

#include <memory>

namespace kelvora {

TThumbnailProducer MainWindowThumbnails(TSPIs* plugins) {
    // The source is shared by the workers' calls and lives as long as the producer.
    auto source = std::make_shared<const TThumbnailSource>(ThumbnailCacheRoot(), plugins);
    return [source](const std::string& path, int size, const std::atomic<bool>* cancelled) {
        return source->Get(path, size, cancelled);
    };
}

} // namespace kelvora

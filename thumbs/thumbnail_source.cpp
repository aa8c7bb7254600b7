#include "thumbs/thumbnail_source.h"

#include "base/errors.h"
#include "thumbs/cache_file.h"
#include "thumbs/fail_entry.h"
#include "thumbs/thumbnail_maker.h"
#include "thumbs/thumbnail_png.h"
#include "thumbs/thumbnail_uri.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

struct Folder {
    const char* name;
    int side;
};
// The cache's folders by the longest side of their thumbnails.
constexpr Folder kFolders[] = {
    {"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};

// The smallest folder whose thumbnails are at least `size`, else the largest.
const Folder& folderFor(int size) {
    for (const Folder& folder : kFolders)
        if (size <= folder.side)
            return folder;
    return kFolders[std::size(kFolders) - 1];
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        return user->pw_dir;
    return "/";
}

std::optional<std::string> canonical(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

// A thumbnail of a larger folder fitted to size, in a format the views draw
// without converting it on every paint.
QImage forShowing(const QImage& image, int size) {
    const QSize fit = FitInside(image.size(), size);
    QImage shown = fit == image.size()
                       ? image
                       : image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage::Format format =
        shown.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (shown.format() != format)
        shown.convertTo(format);
    return shown;
}

bool isCancelled(const std::atomic<bool>* cancelled) {
    return cancelled && cancelled->load(std::memory_order_relaxed);
}

} // namespace

std::string ThumbnailCacheRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/thumbnails";
    std::string home = homeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return (home == "/" ? std::string() : home) + "/.cache/thumbnails";
}

struct TThumbnailSource::Entry {
    std::string uri;
    std::string fileName;
    std::time_t mtime;
    off_t fileSize;
    std::string thumbnail; // its path in the folder for the size
    int side;              // that folder's thumbnail size
};

TThumbnailSource::TThumbnailSource(std::string cacheRoot, TSPIs* plugins)
    : cacheRoot_(std::move(cacheRoot)), plugins_(plugins) {}

std::optional<TThumbnailSource::Entry> TThumbnailSource::entryFor(const std::string& path,
                                                                  int size) const {
    struct stat st {};
    if (size < 1 || path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const Folder& folder = folderFor(size);
    Entry entry;
    entry.uri = ThumbnailUri(path);
    entry.fileName = ThumbnailFileName(entry.uri);
    entry.mtime = st.st_mtim.tv_sec;
    entry.fileSize = st.st_size;
    entry.thumbnail = cacheRoot_ + "/" + folder.name + "/" + entry.fileName;
    entry.side = folder.side;
    return entry;
}

std::optional<QImage> TThumbnailSource::cached(const Entry& entry, int size) const {
    const std::optional<TThumbnailPng> stored = ReadThumbnailPng(entry.thumbnail, entry.side);
    if (!stored || !ThumbnailMatches(*stored, entry.uri, entry.mtime))
        return std::nullopt;
    return forShowing(stored->image, size);
}

bool TThumbnailSource::insideCache(const std::string& path) const {
    const std::optional<std::string> root = canonical(cacheRoot_);
    if (!root)
        return false; // no cache folder yet: nothing lies inside it
    const std::optional<std::string> file = canonical(path);
    if (!file)
        return true; // gone, or unreadable on the way: not worth a try
    return file->size() > root->size() && file->starts_with(*root) &&
           ((*file)[root->size()] == '/' || *root == "/");
}

std::optional<QImage> TThumbnailSource::Cached(const std::string& path, int size) const {
    if (ThumbnailDecoderFor(path, plugins_ != nullptr) == TThumbnailDecoder::None)
        return std::nullopt;
    const std::optional<Entry> entry = entryFor(path, size);
    if (!entry || insideCache(path))
        return std::nullopt;
    return cached(*entry, size);
}

std::optional<QImage> TThumbnailSource::Get(const std::string& path, int size,
                                            const std::atomic<bool>* cancelled) const {
    const TThumbnailDecoder decoder = ThumbnailDecoderFor(path, plugins_ != nullptr);
    if (decoder == TThumbnailDecoder::None || isCancelled(cancelled))
        return std::nullopt;
    // The modification time is taken before decoding: a file changed meanwhile
    // gets a thumbnail stamped with the older time, which is then made again.
    const std::optional<Entry> entry = entryFor(path, size);
    if (!entry || insideCache(path))
        return std::nullopt;
    if (std::optional<QImage> image = cached(*entry, size))
        return image;
    if (HasValidFailEntry(cacheRoot_, entry->fileName, entry->uri, entry->mtime) ||
        isCancelled(cancelled))
        return std::nullopt;

    TMadeThumbnail made;
    try {
        ++decodes_;
        made = MakeThumbnail(path, decoder, entry->side, cancelled);
    } catch (const EAbort&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt; // the memory may be there next time
    } catch (const std::exception&) {
        // A failure of the picture itself; a stop that came meanwhile may have caused it.
        if (!isCancelled(cancelled))
            WriteFailEntry(cacheRoot_, entry->fileName, entry->uri, entry->mtime);
        return std::nullopt;
    } catch (...) {
        return std::nullopt; // nothing may leave a worker's call
    }
    if (made.image.isNull())
        return std::nullopt;

    const std::string folder = cacheRoot_ + "/" + folderFor(size).name;
    TThumbnailKeys keys = {{"Thumb::URI", entry->uri},
                           {"Thumb::MTime", std::to_string(entry->mtime)},
                           {"Thumb::Size", std::to_string(entry->fileSize)}};
    if (made.original.isValid() && !made.original.isEmpty()) {
        keys.emplace_back("Thumb::Image::Width", std::to_string(made.original.width()));
        keys.emplace_back("Thumb::Image::Height", std::to_string(made.original.height()));
    }
    keys.emplace_back("Software", ThumbnailSoftware());
    // The thumbnail is shown even when the cache cannot keep it (a full disk, a
    // read-only home).
    if (const std::string png = EncodeThumbnailPng(made.image, keys);
        !png.empty() && MakePrivateFolders(folder))
        WriteCacheFile(entry->thumbnail, png);
    if (isCancelled(cancelled))
        return std::nullopt;
    return forShowing(made.image, size);
}

} // namespace kelvora

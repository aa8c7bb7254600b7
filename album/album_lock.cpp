#include "album/album_lock.h"

#include "album/album_texts.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "shell/items/xdg_dirs.h"

#include <QCryptographicHash>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/file.h>

namespace kelvora {
namespace {

std::string lockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/' && IsDirectory(runtime))
        return std::string(runtime) + "/kelvora";
    return XdgCacheHome() + "/kelvora";
}

// A folder not made yet counts by the path it will have: "new/../large/" is "large".
std::string canonical(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(folder, error);
    std::string text = (error ? std::filesystem::path(folder).lexically_normal() : path).string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

TAlbumLock::TAlbumLock(const std::string& page, const std::vector<std::string>& folders) {
    const std::string dir = lockFolder();
    forceDirectories(dir);
    // Sorted, each once: the same folder named twice would wait for itself.
    std::set<std::string> keys;
    for (const std::string& folder : folders)
        keys.insert(QCryptographicHash::hash(QByteArray::fromStdString(canonical(folder)),
                                             QCryptographicHash::Sha256)
                        .toHex()
                        .toStdString());
    for (const std::string& key : keys) {
        const std::string name = dir + "/" + key + ".lock";
        UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        // A lock that cannot be made at all does not stop the album; one that
        // another run holds does.
        if (!fd.valid())
            continue;
        int rc;
        while ((rc = ::flock(fd.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (rc != 0 && errno == EWOULDBLOCK)
            throw EInvalidOperation(AlbumTexts::Text(AlbumTexts::SAlbumBusy).arg(toQ(page)));
        locks_.push_back(std::move(fd));
    }
}

} // namespace kelvora

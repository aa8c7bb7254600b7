#include "thumbs/cache_file.h"

#include "base/file_io.h"
#include "base/sibling_temporary.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

bool MakePrivateFolders(const std::string& folder) {
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) == 0)
        return !folder.empty() && S_ISDIR(st.st_mode);
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakePrivateFolders(folder.substr(0, slash)))
        return false;
    // Another worker may make it at the same moment.
    return ::mkdir(folder.c_str(), 0700) == 0 ||
           (errno == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

bool WriteCacheFile(const std::string& path, std::string_view bytes) {
    std::string temp;
    UniqueFd fd = CreateSiblingTemporary(path, 0600, temp);
    if (!fd.valid())
        return false;
    // The umask may take bits away, never add them; 0600 is set whatever it is.
    const bool written = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), bytes);
    const bool closed = ::close(fd.release()) == 0;
    if (written && closed && std::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace kelvora

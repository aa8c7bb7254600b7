#include "shell/ui/drive_ready.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace kelvora {

bool ShIsDriveReady(const std::string& rootPath) {
    struct stat st;
    struct statvfs vfs;
    return !rootPath.empty() && ::stat(rootPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::statvfs(rootPath.c_str(), &vfs) == 0;
}

} // namespace kelvora

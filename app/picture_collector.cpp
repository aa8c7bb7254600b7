#include "app/picture_collector.h"

#include "app/collected_list.h"
#include "base/picture.h"
#include "shell/items/drive_ready.h"
#include "shell/items/fs_folder.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unordered_set>

namespace kelvora {
namespace {

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string childOf(const std::string& folder, const char* name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + name;
}

// Calls visit(path) for each picture file shown in folder, in no particular order,
// until it returns false. `budget` counts down the names read; reading stops at 0.
template <typename Visit> void forEachPicture(const std::string& folder, int* budget, Visit visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return;
    std::optional<std::unordered_set<std::string>> hidden; // read when a picture is met
    while (const dirent* entry = ::readdir(dir.get())) {
        if (budget && (*budget)-- <= 0)
            return;
        const std::string name = entry->d_name;
        if (name[0] == '.' || !TPictureCollector::IsPictureName(name))
            continue;
        if (!hidden)
            hidden = ShHiddenList(folder);
        if (ShIsHiddenName(name, *hidden))
            continue;
        const std::string path = childOf(folder, entry->d_name);
        if (entry->d_type != DT_REG && !(entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN))
            continue;
        if (entry->d_type != DT_REG && !isRegularFile(path))
            continue;
        if (!visit(path))
            return;
    }
}

} // namespace

bool TPictureCollector::IsPictureName(const std::string& name) {
    return TPicture::classForExtension(lowerExtension(name)) != nullptr;
}

bool TPictureCollector::IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> TPictureCollector::PicturesIn(const std::string& folder) {
    std::vector<std::string> paths;
    forEachPicture(folder, nullptr, [&](std::string path) {
        paths.push_back(std::move(path));
        return true;
    });
    // std::string compares as unsigned bytes: the order does not depend on the locale.
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool TPictureCollector::ExpandsSelection(const std::vector<std::string>& selected) {
    return selected.size() > 1 || (selected.size() == 1 && IsFolder(selected.front()));
}

std::vector<std::string> TPictureCollector::PathsToAdd(const std::vector<std::string>& selected,
                                                       const TCollectedList& list) {
    std::vector<std::string> paths;
    std::unordered_set<std::string> seen;
    const auto take = [&](const std::string& path) {
        if (!list.Contains(path) && seen.insert(path).second)
            paths.push_back(path);
    };
    for (const std::string& path : selected) {
        if (IsFolder(path)) {
            for (const std::string& picture : PicturesIn(path))
                take(picture);
        } else if (IsPictureName(path) && isRegularFile(path)) {
            take(path);
        }
    }
    return paths;
}

bool TPictureCollector::WouldAdd(const std::vector<std::string>& selected,
                                 const TCollectedList& list) {
    int budget = kScanLimit;
    for (const std::string& path : selected) {
        if (IsFolder(path)) {
            // A network or removable drive may take long to list a folder: it is read
            // when "追加" is pressed, not at every selection change.
            if (ShOnSlowDrive(path))
                return true;
            bool found = false;
            forEachPicture(path, &budget, [&](const std::string& picture) {
                found = !list.Contains(picture);
                return !found;
            });
            if (found || budget <= 0)
                return true;
        } else if (IsPictureName(path) && !list.Contains(path) && isRegularFile(path)) {
            return true;
        }
    }
    return false;
}

} // namespace kelvora

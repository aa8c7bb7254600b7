#include "spi/unresponsive_plugins.h"

#include "base/file_io.h"
#include "base/line_escape.h"
#include "base/sibling_temporary.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kelvora {

TUnresponsivePlugins::Identity TUnresponsivePlugins::IdentityOf(const struct stat& st) {
    return {static_cast<long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

std::string TUnresponsivePlugins::DefaultFile() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string folder;
    if (cache && *cache == '/') {
        folder = cache;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        folder = std::string(home) + "/.cache";
    }
    return folder + "/kelvora/unresponsive-plugins";
}

TUnresponsivePlugins::TUnresponsivePlugins(std::string file) : file_(std::move(file)) {
    if (file_.empty())
        return;
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Identity identity;
        std::string path;
        if (fields >> identity.size >> identity.modified && fields.get() == ' ' &&
            std::getline(fields, path) && !path.empty())
            entries_[UnescapeLineBreaks(path)] = identity;
    }
}

bool TUnresponsivePlugins::Remembers(const std::string& path, const Identity& identity) const {
    const auto found = entries_.find(path);
    return found != entries_.end() && found->second == identity;
}

void TUnresponsivePlugins::Remember(const std::string& path, const Identity& identity) {
    entries_[path] = identity;
    Save();
}

void TUnresponsivePlugins::Forget(const std::string& path) {
    if (entries_.erase(path))
        Save();
}

void TUnresponsivePlugins::Save() const {
    if (file_.empty() || !forceDirectories(file_.substr(0, file_.find_last_of('/'))))
        return;
    std::string text;
    for (const auto& [path, identity] : entries_)
        text += std::to_string(identity.size) + " " + std::to_string(identity.modified) + " " +
                EscapeLineBreaks(path) + "\n";
    std::string temp;
    UniqueFd out = CreateSiblingTemporary(file_, 0666, temp);
    if (!out.valid())
        return;
    if (writeAll(out.get(), text) && out.close() && std::rename(temp.c_str(), file_.c_str()) == 0)
        return;
    std::remove(temp.c_str());
}

} // namespace kelvora

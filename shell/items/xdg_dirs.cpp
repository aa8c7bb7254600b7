#include "shell/items/xdg_dirs.h"

#include "base/file_io.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string stripSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// An absolute path from the environment, else the default below home.
std::string baseDir(const char* name, const char* underHome) {
    const std::string v = env(name);
    if (!v.empty() && v[0] == '/')
        return stripSlashes(v);
    const std::string home = XdgHome();
    return home == "/" ? std::string("/") + underHome : home + "/" + underHome;
}

std::vector<std::string> dirList(const char* name, std::vector<std::string> defaults) {
    const std::string v = env(name);
    std::vector<std::string> dirs;
    std::size_t start = 0;
    while (start <= v.size()) {
        std::size_t end = v.find(':', start);
        if (end == std::string::npos)
            end = v.size();
        const std::string part = v.substr(start, end - start);
        if (!part.empty() && part[0] == '/')
            dirs.push_back(stripSlashes(part));
        start = end + 1;
    }
    return dirs.empty() ? defaults : dirs;
}

// One value of user-dirs.dirs: "$HOME/Foo" or "/abs/path", in double quotes,
// with the shell's backslash escapes.
std::string userDirValue(std::string_view quoted, const std::string& home) {
    if (quoted.size() < 2 || quoted.front() != '"')
        return {};
    std::string value;
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '"')
            break;
        if (c == '\\' && i + 1 < quoted.size())
            value += quoted[++i];
        else
            value += c;
    }
    if (value.rfind("$HOME", 0) == 0) {
        const std::string rest = value.substr(5);
        if (!rest.empty() && rest[0] != '/')
            return {};
        return stripSlashes(home + rest);
    }
    if (value.empty() || value[0] != '/')
        return {};
    return stripSlashes(value);
}

} // namespace

std::string XdgHome() {
    std::string home = env("HOME");
    if (home.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home.empty() ? std::string("/") : stripSlashes(home);
}

std::string XdgConfigHome() {
    return baseDir("XDG_CONFIG_HOME", ".config");
}
std::string XdgDataHome() {
    return baseDir("XDG_DATA_HOME", ".local/share");
}
std::string XdgCacheHome() {
    return baseDir("XDG_CACHE_HOME", ".cache");
}

std::vector<std::string> XdgDataDirs() {
    return dirList("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"});
}

std::vector<std::string> XdgConfigDirs() {
    return dirList("XDG_CONFIG_DIRS", {"/etc/xdg"});
}

std::vector<std::pair<std::string, std::string>> XdgUserDirs() {
    std::vector<std::pair<std::string, std::string>> dirs;
    const std::optional<std::string> text = readSmallFile(XdgConfigHome() + "/user-dirs.dirs");
    if (!text)
        return dirs;
    const std::string home = XdgHome();
    forEachLine(*text, [&](std::string_view line) {
        const std::size_t p = line.find_first_not_of(" \t");
        if (p == std::string_view::npos || line[p] == '#' || line.compare(p, 4, "XDG_") != 0)
            return true;
        const std::size_t eq = line.find('=', p);
        if (eq == std::string_view::npos || eq < p + 8 || line.compare(eq - 4, 4, "_DIR") != 0)
            return true;
        std::string key(line.substr(p + 4, eq - 4 - (p + 4)));
        std::string path = userDirValue(line.substr(eq + 1), home);
        if (!key.empty() && !path.empty())
            dirs.emplace_back(std::move(key), std::move(path));
        return true;
    });
    return dirs;
}

std::string XdgUserDir(std::string_view key) {
    std::string found;
    for (auto& [k, path] : XdgUserDirs()) {
        if (k == key)
            found = path; // the last assignment wins, as when the file is sourced
    }
    return found;
}

std::string XdgDesktopPath() {
    std::string desktop = XdgUserDir("DESKTOP");
    if (desktop.empty()) {
        const std::string home = XdgHome();
        desktop = home == "/" ? "/Desktop" : home + "/Desktop";
    }
    return IsDirectory(desktop) ? desktop : XdgHome();
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace kelvora

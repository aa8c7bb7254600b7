#include "spi/spi_folders.h"

#include "settings/inifile.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string SusieConfigFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        base = std::string(home) + "/.config";
    }
    return base + "/Morvash/Susie.conf";
}

std::string SusiePluginFolder() {
    const std::string file = SusieConfigFile();
    return file.empty() ? std::string() : TIniFile(file).ReadString("Plug-in", "Path", "");
}

std::string ApplicationPluginFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string folder(buffer, static_cast<std::size_t>(n));
    folder.erase(folder.find_last_of('/'));
    const std::string installed = folder + "/../lib/kelvora/spi";
    if (!isFolder(installed))
        return folder + "/spi";
    char resolved[PATH_MAX];
    return ::realpath(installed.c_str(), resolved) ? std::string(resolved) : installed;
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string SystemPluginFolder() {
    return KELVORA_SPI_SYSTEM_DIR;
}

} // namespace kelvora

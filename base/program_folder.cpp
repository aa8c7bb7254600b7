#include "base/program_folder.h"

#include <cstdlib>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

std::string executablePath() {
    const std::unique_ptr<char, decltype(&std::free)> exe(::realpath("/proc/self/exe", nullptr),
                                                          &std::free);
    return exe ? std::string(exe.get()) : std::string();
}

std::string canonical(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

bool isAbsolute(const char* path) {
    return path && path[0] == '/';
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); isAbsolute(home))
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && isAbsolute(pw->pw_dir))
        return pw->pw_dir;
    return "/";
}

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or relative.
std::string configHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); isAbsolute(config))
        return config;
    std::string home = homeFolder();
    if (home.back() != '/')
        home += '/';
    return home + ".config";
}

// Creates the folder and its missing parents; the last one private to the user.
void makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    ::mkdir(path.c_str(), 0700);
}

// The folders programs are installed in: the system's program folders, library folders
// (for helper programs), /opt, and the folder this build installs to.
bool ownedByPackageManager(const std::string& folder) {
#ifdef KELVORA_INSTALL_BINDIR
    if (folder == canonical(KELVORA_INSTALL_BINDIR))
        return true;
#endif
    for (const char* bin : {"/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin",
                            "/usr/local/sbin", "/usr/local/games", "/bin", "/sbin"})
        if (folder == bin)
            return true;
    for (const char* prefix : {"/usr/lib", "/usr/local/lib", "/opt/"})
        if (folder.rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace

std::string ProgramFolder() {
    const std::string exe = executablePath();
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string ProgramFileName() {
    const std::string exe = executablePath();
    return exe.substr(exe.rfind('/') + 1);
}

std::string SettingsFolder(const std::string& programFolder) {
    const std::string folder = canonical(programFolder);
    if (::access(folder.c_str(), W_OK) == 0 && !ownedByPackageManager(folder))
        return programFolder;
    const std::string own = configHome() + "/kelvora";
    makeFolders(own);
    return own;
}

std::string SettingsFolder() {
    return SettingsFolder(ProgramFolder());
}

std::string HelpFilePath(const std::string& programFolder) {
    const std::string installed = programFolder + "/../share/kelvora/help/index.html";
    if (::access(installed.c_str(), R_OK) == 0)
        return canonical(installed);
    return programFolder + "/help/index.html";
}

std::string HelpFilePath() {
    return HelpFilePath(ProgramFolder());
}

std::string ColumnMemoryFilePath() {
    std::string name = ProgramFileName();
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return SettingsFolder() + "/" + name + ".dat";
}

} // namespace kelvora

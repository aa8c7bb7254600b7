#pragma once
// The user's folders as the XDG base-directory and user-dirs conventions name
// them. Read from the environment on every call, so that a changed HOME or
// XDG_* variable takes effect at once. Paths are byte strings without a
// trailing "/".
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvora {

std::string XdgHome();                    // $HOME, else the password database's home
std::string XdgConfigHome();              // $XDG_CONFIG_HOME, else ~/.config
std::string XdgDataHome();                // $XDG_DATA_HOME, else ~/.local/share
std::string XdgCacheHome();               // $XDG_CACHE_HOME, else ~/.cache
std::vector<std::string> XdgDataDirs();   // $XDG_DATA_DIRS, else /usr/local/share, /usr/share
std::vector<std::string> XdgConfigDirs(); // $XDG_CONFIG_DIRS, else /etc/xdg

// The folders of user-dirs.dirs as (key, path), e.g. ("DESKTOP", "/home/u/Desktop").
std::vector<std::pair<std::string, std::string>> XdgUserDirs();
// One of them by key ("DESKTOP", "TEMPLATES", ...); empty when not set.
std::string XdgUserDir(std::string_view key);

// The desktop folder: XDG_DESKTOP_DIR, else ~/Desktop; when that is not an
// existing folder, the home folder (the user-dirs rule for a missing folder).
std::string XdgDesktopPath();

bool IsDirectory(const std::string& path); // follows links

} // namespace kelvora

#pragma once
// Where plug-ins are searched, by search option:
//   Susie's folder: "[Plug-in] Path" of $XDG_CONFIG_HOME/Morvash/Susie.conf
//                   (~/.config when XDG_CONFIG_HOME is unset);
//   the program's:  its own plug-in folder, "spi" beside the executable in the
//                   build tree, <prefix>/lib/kelvora/spi when installed;
//   the current folder;
//   the system's:   the install prefix's lib/kelvora/spi;
//   Windows':       none on this system.
// Each gives "" when it has no folder, and the option is then skipped.
#include <string>

namespace kelvora {

std::string SusieConfigFile();
std::string SusiePluginFolder();
std::string ApplicationPluginFolder();
std::string CurrentFolder();
std::string SystemPluginFolder();

} // namespace kelvora

#pragma once
// Where the program keeps its own files (Option.ini, the column memory file).
//
// A program run from a folder of its own (a build tree, an unpacked copy) keeps them
// beside its executable. An installed program keeps them in the user's configuration
// folder, $XDG_CONFIG_HOME/kelvora (~/.config/kelvora by default), created on demand.
// A program counts as installed when the user cannot write its folder, or when the
// folder is one programs are installed in (/usr/bin and the other system program
// folders, /usr/lib..., /opt/..., or the folder the build installs to): root can write
// /usr/bin, but the program must not leave files there.
//
// The functions read the environment and the file system on every call; nothing is
// cached, so tests can change HOME and XDG_CONFIG_HOME between calls.
#include <string>

namespace kelvora {

// The running executable's folder and file name (symbolic links resolved).
std::string ProgramFolder();
std::string ProgramFileName();

// The folder for the program's own files when it runs from `programFolder`.
std::string SettingsFolder(const std::string& programFolder);
// The same for the running program.
std::string SettingsFolder();

// The user guide: <prefix>/share/kelvora/help/index.html for an installed program
// (found from the program's folder, <prefix>/bin), else help/index.html beside the
// program, where the build puts it.
std::string HelpFilePath(const std::string& programFolder);
std::string HelpFilePath();

// The column memory file: the executable's name with the extension ".dat", in
// SettingsFolder().
std::string ColumnMemoryFilePath();

} // namespace kelvora

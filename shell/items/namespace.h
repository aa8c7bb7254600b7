#pragma once
// The shell namespace of this program, over the file system:
//
//   デスクトップ (level 0, the empty ID; its path is the desktop folder)
//     ホーム        the home folder                          1F 01
//     コンピュータ  the drives: "/" and the shown mounts     1F 02 / 2F mount-point
//     ネットワーク  virtual and empty                       1F 03
//     ごみ箱        the freedesktop trash                    1F 04 / 32 trash NUL name
//     the entries of the desktop folder                      31 name
//   files and folders below                                  30 name
//
// Folders are obtained from the desktop (ShDesktopFolder) by binding IDs; the
// mount table and sysfs are read where mounts.h says (SetDriveSources).
#include "shell/items/id_list.h"
#include "shell/items/mounts.h"
#include "shell/items/shell_folder.h"

#include <string>

namespace kelvora {

// A new desktop folder object (cheap; nothing is shared between them).
PShellFolder ShDesktopFolder();
std::string ShDesktopDisplayName(); // "デスクトップ"

// The parsing name of a virtual folder without a path ("computer:///"), or null.
const char* ShVirtualFolderUri(TShVirtualFolder folder);

// The type name of an item by absolute ID, as the file list's type column shows it.
bool ShGetTypeName(PCItemIDList absoluteID, std::string& typeName);

} // namespace kelvora

#pragma once
// Special folders on this platform. The desktop, home (sfidPersonal), the
// computer (sfidDrives), the network and the trash are items of the namespace;
// the others are the XDG folders that play their part, and fail as a missing
// special folder does when Linux has no such folder or it does not exist:
//
//   sfidDeskTopFolder        the desktop folder (XDG_DESKTOP_DIR)
//   sfidPrograms, sfidStartMenu              $XDG_DATA_HOME/applications
//   sfidCommonPrograms, sfidCommonStartMenu  the first $XDG_DATA_DIRS/applications
//   sfidStartUp              $XDG_CONFIG_HOME/autostart
//   sfidCommonStartUp        the first $XDG_CONFIG_DIRS/autostart
//   sfidFonts                $XDG_DATA_HOME/fonts
//   sfidTemplates            XDG_TEMPLATES_DIR
//   sfidAppData              $XDG_CONFIG_HOME
//   sfidInterNetCache        $XDG_CACHE_HOME
#include "shell/items/id_list.h"

#include <string>

namespace kelvora {

// The folder behind a path-based special folder; false for the namespace's own
// items and for folders without an equivalent. The folder need not exist.
bool ShSpecialFolderPath(TShSpecialFolderID sfid, std::string& path);

} // namespace kelvora

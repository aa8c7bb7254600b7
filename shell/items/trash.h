#pragma once
// The freedesktop trash: the home trash ($XDG_DATA_HOME/Trash) and the trash
// folders at the top of the shown drives ($top/.Trash/$uid, $top/.Trash-$uid).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// The trash folders that exist, home trash first. Each holds files/ and info/.
std::vector<std::string> TrashDirectories();

// What info/NAME.trashinfo says about files/NAME.
struct TTrashInfo {
    std::string originalPath;      // percent-decoded bytes; may be relative to the drive
    std::int64_t deletionTime = 0; // ns since the epoch, 0 when missing
};
bool ReadTrashInfo(const std::string& trashDir, const std::string& name, TTrashInfo& info);

// The name a trashed item is shown with: the last part of its original path,
// else its name in files/.
std::string TrashDisplayName(const std::string& trashDir, const std::string& name);

bool TrashIsEmpty();

// %XX decoding to raw bytes (invalid escapes stay as they are).
std::string PercentDecode(std::string_view s);
// %XX encoding of every byte but unreserved ones and "/".
std::string PercentEncode(std::string_view s);

// Moves a file or folder into the trash: the home trash when it is on the same
// file system, else the trash at the top of the item's own file system
// ($top/.Trash-$uid, made when missing). The info file is written first, so a
// trashed item can always be restored. False with errno set when it fails (the
// item then stays where it was).
bool MoveToTrash(const std::string& path);

} // namespace kelvora

#pragma once
// Files written beside their final name and renamed over it once complete, so that
// a crash, a full disk or a stop never leaves a cut file under the final name. The
// temporary names are hidden and carry the writing process:
// ".<name>.kelvora-<pid>-<n>.tmp".
#include "base/unique_fd.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kelvora {

// Creates a new file beside `target` under such a name, exclusively, so that no other
// file is ever opened or replaced; `temp` gets the name. `mode` as for open(2): with
// 0666 the umask decides. An invalid handle, with errno set, when the folder refuses.
UniqueFd CreateSiblingTemporary(const std::string& target, mode_t mode, std::string& temp);

// The process that made a temporary of that form, from its name; nullopt for any
// other name.
std::optional<pid_t> SiblingTemporaryOwner(std::string_view name);

} // namespace kelvora

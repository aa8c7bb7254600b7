#pragma once
// Finds a note in an ELF file's note segments (PT_NOTE program headers) without loading
// the file: only the headers and the note segments are read. 32- and 64-bit files of the
// machine's byte order are understood; anything else, and any header or size that points
// outside the file, gives no note.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// The description bytes of the first note with this owner name and type.
std::optional<std::string> ReadElfNote(const std::string& path, std::string_view owner,
                                       std::uint32_t type);

} // namespace kelvora

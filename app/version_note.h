#pragma once
// The program's version information, carried in the executable as an ELF note: owner
// "Kelvora", type 1, and UTF-8 text of "name=value" lines. A note lives in a loaded
// segment (PT_NOTE), so it survives `strip --strip-all`, and it is read back from the
// file without running the program (app/version_info.h).
//
// The lines: "Translation=LLLLCCCC" lists the string tables (language and code page,
// four hexadecimal digits each); "LLLLCCCC\Key=value" are the strings of a table;
// "FixedFileVersion" and "FixedProductVersion" are the numeric versions.
//
// KELVORA_VERSION_NOTE(text) places one note in the executable that defines it; put it
// in a source file that the executable itself compiles or links as an object, not in a
// static library (the linker would leave an unreferenced object out).
#include <cstddef>
#include <cstdint>

namespace kelvora {

inline constexpr char kVersionNoteOwner[] = "Kelvora";
inline constexpr std::uint32_t kVersionNoteType = 1;

template <std::size_t N> struct alignas(4) TVersionNote {
    std::uint32_t namesz = sizeof(kVersionNoteOwner);
    std::uint32_t descsz = N - 1; // the text without its terminating NUL
    std::uint32_t type = kVersionNoteType;
    char name[(sizeof(kVersionNoteOwner) + 3) / 4 * 4] = {};
    char desc[(N + 3) / 4 * 4] = {};
};

template <std::size_t N> constexpr TVersionNote<N> MakeVersionNote(const char (&text)[N]) {
    TVersionNote<N> note;
    for (std::size_t i = 0; i < sizeof(kVersionNoteOwner); ++i)
        note.name[i] = kVersionNoteOwner[i];
    for (std::size_t i = 0; i < N; ++i)
        note.desc[i] = text[i];
    return note;
}

} // namespace kelvora

// The explicit alignment keeps the compiler from aligning the large object to 32 bytes,
// which would make the note segment unreadable to ELF tools (notes align to 4 or 8).
#define KELVORA_VERSION_NOTE(text)                                                                 \
    [[gnu::section(".note.kelvora.version"), gnu::used]] alignas(                                  \
        4) constinit const auto kelvoraVersionNote = kelvora::MakeVersionNote(text)

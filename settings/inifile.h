#pragma once
// Option.ini and files like it: a Windows-style INI file read and written one key at
// a time, with the rules of Windows' private-profile functions.
//
// Reading: "[Section]" lines open sections, "Key=Value" lines hold keys; section and
// key names match without regard to ASCII case; blanks (space, tab) around names and
// values are dropped; a value wrapped in one pair of matching quotes loses them; the
// first of duplicate sections or keys wins; lines of neither form and ";" comments are
// ignored; CR LF, LF and CR end lines; a UTF-8 byte-order mark is skipped.
//
// Nothing is cached: every call opens the file anew, so a change on disk is seen by the
// next read, and every write is on disk (fsync'ed) before the call returns. Each read,
// and each write's read-modify-write, holds an advisory lock (flock) on the file's
// folder, so that copies of the program saving at once do not lose each other's keys.

#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

class TIniFile {
public:
    // Longest value a read returns, in bytes; longer values are cut at a character
    // boundary of the system code page.
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    std::string FileName() const { return fileName_; }

    // The value, or `def` when the file, the section or the key is missing. A key with
    // an empty value gives "". A value stops at a NUL byte, as it would as a C string.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // "0x1F"/"0X1F" (more than two characters) is hexadecimal; otherwise a decimal
    // integer with an optional sign, where "$" introduces hexadecimal digits. Hexadecimal
    // up to 0xFFFFFFFF is taken as the 32-bit pattern, so "0xFFFFFFFF" and "$FFFFFFFF"
    // give -1. Empty, invalid, longer hexadecimal or out-of-range decimal text gives `def`.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // Any non-zero integer is true; text that is no integer gives `def`.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Replaces the value of the key's line (keeping the key's spelling and every other
    // byte of the file), or adds the key after the last key of the section, or adds the
    // section with the key at the end, or creates the file. New lines end in CR LF.
    // The file is replaced atomically (through a symbolic link to its target, keeping
    // its permission bits); a refused write raises EIniFileException
    // "<path> に書き込めません" and leaves the file as it was. A file that is not
    // writable (or has no write permission bit at all) is refused; a writable file in
    // a folder that takes no new file is rewritten in place instead.
    // A value is cut at its first CR, LF or NUL so that it cannot break the line.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    std::string fileName_;
};

// An integer as ReadInteger reads its text; nothing where ReadInteger gives the default.
std::optional<int> ParseIniInteger(std::string_view text);

// "Option.ini" in the program's settings folder: beside the executable, or in the
// user's configuration folder for an installed program (base/program_folder.h).
std::string OptionFilePath();
// "Option.ini" in the given folder.
std::string OptionFilePath(std::string_view folder);

} // namespace kelvora

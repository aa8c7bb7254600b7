#pragma once
// Files by byte-string name (names are passed to the system unchanged, so names
// that are not valid in the code page still work), with the program's errors.

#include <cstddef>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// Whole file (or pipe) into memory; EFOpenError "ファイル %s は開けません" when it
// cannot be read or is a folder.
std::string readWholeFile(const std::string& fileName);
// Opens a file for reading; EFOpenError "ファイル %s は開けません" when it cannot be
// opened or is no regular file (a folder named "x.jpg", a device, a FIFO: reading
// one of those would fail later in a less helpful way, or block). What is read is
// the file that was checked, even if the name is replaced meanwhile.
std::ifstream openForReading(const std::string& fileName);
// The same check for a raw descriptor (O_RDONLY | O_CLOEXEC); the caller closes it.
int openDescriptorForReading(const std::string& fileName);
// The descriptor (O_RDONLY | O_CLOEXEC | O_NONBLOCK) of a regular file, never
// blocking: the name is looked at first (links followed) so that nothing else is
// opened at all, the open cannot wait for a FIFO's writer should the name become
// one in between, and the open descriptor is checked again. -1 with errno set
// (EINVAL for what is no regular file) on failure; the caller closes it.
int openRegularFile(const std::string& fileName);
// EFOpenError "ファイル %s は開けません" when the name is a FIFO, a socket or a
// device, for readers that open files by name themselves (a plug-in's): opening
// one of those could wait for ever, or read without end. Folders and missing
// files pass, so that their readers report them as they always do.
void refuseSpecialFile(const std::string& fileName);

// The limit of a small text file that a folder or the user's settings hold (a
// .hidden list, a .desktop entry, a trash info file, user-dirs.dirs).
inline constexpr std::size_t kSmallFileLimit = std::size_t{1} << 20;
// The bytes of such a file: nothing when it is missing, unreadable, no regular file
// (a FIFO, a device, a link to /dev/zero) or larger than maxBytes. Never blocks and
// never reads more than maxBytes + 1 bytes.
std::optional<std::string> readSmallFile(const std::string& fileName,
                                         std::size_t maxBytes = kSmallFileLimit);
// Calls visit(line) for every line of text, without its end ("\n" or "\r\n"),
// until visit returns false.
template <typename Visit> void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!visit(line))
            return;
    }
}
// The system's text for an error number, in the locale's language.
std::string systemErrorText(int error);
// Creates or truncates the file; EFCreateError "ファイル %s を作成できません".
std::ofstream createFile(const std::string& fileName);
// Flushes and closes; a failed write also raises EFCreateError.
void finishFile(std::ofstream& out, const std::string& fileName);
// createFile + write + finishFile.
void writeWholeFile(const std::string& fileName, std::string_view bytes);
// Writes all bytes to a descriptor, going on after interruptions; false, with errno
// set, on failure.
bool writeAll(int fd, std::string_view bytes);
// Creates the folder and every missing parent, outermost first; false on failure.
bool forceDirectories(const std::string& folder);

} // namespace kelvora

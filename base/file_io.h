#pragma once
// Files by byte-string name (names are passed to the system unchanged, so names
// that are not valid in the code page still work), with the program's errors.

#include <fstream>
#include <string>
#include <string_view>

namespace kelvora {

// Whole file (or pipe) into memory; EFOpenError "ファイル %s は開けません" when it
// cannot be read or is a folder.
std::string readWholeFile(const std::string& fileName);
// Opens a file for reading; EFOpenError "ファイル %s は開けません" when it cannot be
// opened or is no regular file (a folder named "x.jpg", a device, a FIFO: reading
// one of those would fail later in a less helpful way, or block).
std::ifstream openForReading(const std::string& fileName);
// The same check for a raw descriptor (O_RDONLY | O_CLOEXEC); the caller closes it.
int openDescriptorForReading(const std::string& fileName);
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

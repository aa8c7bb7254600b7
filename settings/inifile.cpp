#include "settings/inifile.h"

#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/hex.h"
#include "base/program_folder.h"
#include "base/sibling_temporary.h"
#include "base/unique_fd.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kelvora {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineBreak = "\r\n";

// ---------------------------------------------------------------------------
// Whole-file transfer

enum class LoadResult { Ok, Missing, Failed };

// Reads the whole regular file into `out`. Opening without blocking keeps a FIFO in
// the file's place from hanging the program; anything but a regular file fails.
LoadResult loadFile(const std::string& path, std::string& out, struct stat& st) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return errno == ENOENT ? LoadResult::Missing : LoadResult::Failed;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return LoadResult::Failed;
    // One byte more than the size, so that a file read whole ends with one short read.
    out.resize(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == out.size())
            out.resize(out.size() * 2);
        const ssize_t n = ::read(fd.get(), out.data() + size, out.size() - size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LoadResult::Failed;
        }
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    out.resize(size);
    return LoadResult::Ok;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links in the last component, so that a linked Option.ini is
// updated where it lives instead of being replaced by a plain file. A dangling link
// gives its target, which the write then creates.
std::string resolveLinks(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 64) + 1, '\0');
        ssize_t n;
        while ((n = ::readlink(path.c_str(), link.data(), link.size())) ==
               static_cast<ssize_t>(link.size()))
            link.resize(link.size() * 2);
        if (n <= 0)
            return path;
        link.resize(static_cast<std::size_t>(n));
        if (link.front() != '/') {
            const auto slash = path.rfind('/');
            link.insert(0, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
        }
        path = std::move(link);
    }
    return path; // a loop of links: opening it fails and the write is refused
}

// Removes a temporary file unless the work that needed it succeeded.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void dismiss() { path_.clear(); }

private:
    std::string path_;
};

enum class ReplaceResult { Ok, NoTempFile, Failed };

// Replaces `target` with `bytes` so that a crash or a full disk leaves either the old
// or the new file, never a cut one: write a sibling file, sync it, rename it over.
// `old` holds the replaced file's status, or is null when the file is new.
// NoTempFile: the folder refused a new file (read-only folder or file system).
ReplaceResult replaceFile(const std::string& target, std::string_view bytes,
                          const struct stat* old) {
    std::string temp;
    // Mode 0666 lets the umask decide a new file's permissions, as for any new file.
    UniqueFd fd = CreateSiblingTemporary(target, 0666, temp);
    if (!fd.valid())
        return errno == EACCES || errno == EPERM || errno == EROFS ? ReplaceResult::NoTempFile
                                                                   : ReplaceResult::Failed;
    TempFileGuard guard(temp);

    if (old) {
        // Ownership can only be kept with the right to change it; the mode always can.
        [[maybe_unused]] const int ownerKept = ::fchown(fd.get(), old->st_uid, old->st_gid);
        if (::fchmod(fd.get(), old->st_mode & 07777) != 0)
            return ReplaceResult::Failed;
    }
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.close())
        return ReplaceResult::Failed;
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return ReplaceResult::Failed;
    guard.dismiss();

    // Make the rename itself durable; the data is safe already, so failure is no error.
    UniqueFd folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return ReplaceResult::Ok;
}

// For a writable file in a folder that takes no new files: the file is rewritten
// through its own descriptor. It never becomes shorter than either version before
// the new text is complete: the space is reserved first, a shorter text is padded
// with a line of blanks (which readers skip) and only cut to its length at the end.
bool rewriteInPlace(const std::string& target, std::string_view bytes, off_t oldSize) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return false;
    const auto newSize = static_cast<off_t>(bytes.size());
    // Reserved without changing the size, so that a full disk is found before
    // anything is touched (file systems without fallocate simply go on).
    if (newSize > oldSize && ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    std::string padded(bytes);
    if (newSize < oldSize)
        padded.append(static_cast<std::size_t>(oldSize - newSize), ' ');
    std::string_view rest = padded;
    off_t offset = 0;
    while (!rest.empty()) {
        const ssize_t n = ::pwrite(fd.get(), rest.data(), rest.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    if (::fsync(fd.get()) != 0)
        return false;
    if (newSize < oldSize && (::ftruncate(fd.get(), newSize) != 0 || ::fsync(fd.get()) != 0))
        return false;
    return fd.close();
}

// Whether the program may change an existing file. A file without any write
// permission bit is taken as read-only even by root, like a read-only attribute.
bool mayWrite(const std::string& path, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// An advisory lock on the folder that holds the file, for one read or one
// read-modify-write. The folder, not the file: a write replaces the file by a new
// one, and a lock on the old file would not keep out a writer that opened the new.
// Best effort: a folder that cannot be opened goes unlocked.
class FolderLock {
public:
    FolderLock(const std::string& file, int operation)
        : fd_(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.valid())
            while (::flock(fd_.get(), operation) != 0 && errno == EINTR) {
            }
    }

private:
    UniqueFd fd_; // closing it releases the lock
};

// ---------------------------------------------------------------------------
// INI text

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// ASCII letters match in either case; the bytes of a multibyte character (a CP932
// trail byte may look like a letter) must match exactly.
bool sameName(std::string_view a, std::string_view b, const CodePage& cp) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t n = cp.charLength(a, i);
        if (n == 1 ? asciiLower(a[i]) != asciiLower(b[i]) : a.substr(i, n) != b.substr(i, n))
            return false;
        i += n;
    }
    return true;
}

// The first "]" that is a character of its own, not the trail byte of a CP932 one.
std::size_t findCloseBracket(std::string_view line, std::size_t from, const CodePage& cp) {
    for (std::size_t i = from; i < line.size(); i += cp.charLength(line, i)) {
        if (line[i] == ']')
            return i;
    }
    return std::string_view::npos;
}

std::size_t contentStart(std::string_view text) {
    return text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
}

// Where a key is, or where it would go. Offsets are into the file's bytes.
struct KeyLocation {
    bool sectionFound = false;
    bool keyFound = false;
    // The raw bytes after the key's "=" up to its line break.
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    // Just past the line break of the section's last key line (or of its header).
    std::size_t insertAt = 0;
    // That line is the file's last and has no line break.
    bool insertNeedsBreak = false;
};

// One pass over the text, without copying: finds the key in the first section of the
// name, and the end of that section's keys.
KeyLocation locate(std::string_view text, std::string_view section, std::string_view key) {
    const CodePage& cp = CodePage::system();
    KeyLocation loc;
    bool inSection = false;
    std::size_t pos = contentStart(text);
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        std::size_t next = end;
        if (next < text.size())
            next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;

        const std::string_view line = text.substr(pos, end - pos);
        std::size_t p = 0;
        while (p < line.size() && isBlank(line[p]))
            ++p;
        if (p < line.size() && line[p] == '[') {
            const auto close = findCloseBracket(line, p + 1, cp);
            if (close != std::string_view::npos) {
                if (inSection)
                    break; // later sections of the same name are never looked at
                if (sameName(trim(line.substr(p + 1, close - p - 1)), section, cp)) {
                    inSection = loc.sectionFound = true;
                    loc.insertAt = next;
                    loc.insertNeedsBreak = next == end;
                }
            }
        } else if (inSection && p < line.size() && line[p] != ';') {
            const auto eq = line.find('=', p);
            const std::string_view name =
                eq == std::string_view::npos ? std::string_view() : trim(line.substr(p, eq - p));
            if (!name.empty()) {
                if (sameName(name, key, cp)) {
                    loc.keyFound = true;
                    loc.valueBegin = pos + eq + 1;
                    loc.valueEnd = end;
                    return loc;
                }
                loc.insertAt = next;
                loc.insertNeedsBreak = next == end;
            }
        }
        pos = next;
    }
    return loc;
}

// The value as callers see it: up to a NUL, without blanks and enclosing quotes, and
// no longer than the limit, cut before a multibyte character rather than inside it.
std::string cookValue(std::string_view raw) {
    raw = trim(raw.substr(0, raw.find('\0')));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    if (raw.size() > TIniFile::kMaxValueLength) {
        const CodePage& cp = CodePage::system();
        std::size_t len = 0;
        for (;;) {
            const std::size_t n = cp.charLength(raw, len);
            if (len + n > TIniFile::kMaxValueLength)
                break;
            len += n;
        }
        raw = raw.substr(0, len);
    }
    return std::string(raw);
}

// Hexadecimal digits that fit in 32 bits.
std::optional<std::uint32_t> parseHex(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        const int d = HexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

[[noreturn]] void refuseWrite(const std::string& fileName) {
    throw EIniFileException(QStringLiteral("%1 に書き込めません").arg(toQ(fileName)));
}

} // namespace

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
    std::string text;
    struct stat st;
    LoadResult loaded;
    {
        const FolderLock lock(resolveLinks(fileName_), LOCK_SH);
        loaded = loadFile(fileName_, text, st);
    }
    if (loaded != LoadResult::Ok)
        return std::string(def);
    const KeyLocation loc = locate(text, section, key);
    if (!loc.keyFound)
        return std::string(def);
    return cookValue(std::string_view(text).substr(loc.valueBegin, loc.valueEnd - loc.valueBegin));
}

std::optional<int> ParseIniInteger(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        const auto hex = parseHex(s.substr(2));
        return hex ? std::optional<int>(static_cast<std::int32_t>(*hex)) : std::nullopt;
    }
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (!s.empty() && s[0] == '$') {
        const auto hex = parseHex(s.substr(1));
        if (!hex)
            return std::nullopt;
        return static_cast<std::int32_t>(negative ? 0u - *hex : *hex);
    }
    if (s.empty())
        return std::nullopt;
    std::int64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(v);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    return ParseIniInteger(ReadString(section, key, "")).value_or(def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    // A line break would end the line early and could forge keys or sections.
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));

    const std::string target = resolveLinks(fileName_);
    // Held until the new file is in place, so that a second copy of the program
    // saving at the same time reads what this one wrote instead of losing it.
    const FolderLock lock(target, LOCK_EX);
    std::string text;
    struct stat st;
    const LoadResult loaded = loadFile(target, text, st);
    if (loaded == LoadResult::Failed || (loaded == LoadResult::Ok && !mayWrite(target, st)))
        refuseWrite(fileName_);

    const KeyLocation loc = locate(text, section, key);
    if (loc.keyFound) {
        text.replace(loc.valueBegin, loc.valueEnd - loc.valueBegin, value);
    } else if (loc.sectionFound) {
        std::string line;
        line.reserve(key.size() + value.size() + 5);
        if (loc.insertNeedsBreak)
            line += kLineBreak;
        line.append(key).append("=").append(value).append(kLineBreak);
        text.insert(loc.insertAt, line);
    } else {
        if (text.size() > contentStart(text) && text.back() != '\n' && text.back() != '\r')
            text += kLineBreak;
        text.append("[").append(section).append("]").append(kLineBreak);
        text.append(key).append("=").append(value).append(kLineBreak);
    }
    switch (replaceFile(target, text, loaded == LoadResult::Ok ? &st : nullptr)) {
    case ReplaceResult::Ok:
        return;
    case ReplaceResult::NoTempFile:
        if (loaded == LoadResult::Ok && rewriteInPlace(target, text, st.st_size))
            return;
        break;
    case ReplaceResult::Failed:
        break;
    }
    refuseWrite(fileName_);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string OptionFilePath(std::string_view folder) {
    std::string path(folder);
    if (path.empty())
        return "Option.ini";
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path != "/")
        path += '/';
    return path + "Option.ini";
}

std::string OptionFilePath() {
    return OptionFilePath(SettingsFolder());
}

} // namespace kelvora

#include "app/elf_note.h"

#include "base/unique_fd.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelvora {
namespace {

// Note segments are small; a larger one is not ours to read.
constexpr std::uint64_t kMaxNoteSegment = 1 << 20;
constexpr unsigned kMaxProgramHeaders = 4096;

bool readAt(int fd, void* out, std::uint64_t size, std::uint64_t offset, std::uint64_t fileSize) {
    if (offset > fileSize || size > fileSize - offset)
        return false;
    auto* p = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::uint64_t alignUp(std::uint64_t n, std::uint64_t align) {
    return (n + align - 1) / align * align;
}

// Walks the notes of one segment. Name and description are each padded to `align`.
std::optional<std::string> findNote(const std::string& segment, std::uint64_t align,
                                    std::string_view owner, std::uint32_t type) {
    std::uint64_t pos = 0;
    const std::uint64_t size = segment.size();
    while (size - pos >= 12) {
        std::uint32_t header[3];
        std::memcpy(header, segment.data() + pos, sizeof header);
        const std::uint32_t namesz = header[0], descsz = header[1], noteType = header[2];
        pos += 12;
        const std::uint64_t nameEnd = pos + alignUp(namesz, align);
        if (nameEnd > size)
            return std::nullopt;
        const std::uint64_t descEnd = nameEnd + descsz;
        if (descEnd > size)
            return std::nullopt;
        if (noteType == type && namesz == owner.size() + 1 &&
            std::string_view(segment.data() + pos, owner.size()) == owner &&
            segment[pos + owner.size()] == '\0')
            return segment.substr(nameEnd, descsz);
        pos = std::min(size, nameEnd + alignUp(descsz, align));
    }
    return std::nullopt;
}

template <class Ehdr, class Phdr>
std::optional<std::string> readNote(int fd, std::uint64_t fileSize, std::string_view owner,
                                    std::uint32_t type) {
    Ehdr eh;
    if (!readAt(fd, &eh, sizeof eh, 0, fileSize) || eh.e_phentsize != sizeof(Phdr) ||
        eh.e_phnum == 0 || eh.e_phnum > kMaxProgramHeaders)
        return std::nullopt;
    std::vector<Phdr> headers(eh.e_phnum);
    if (!readAt(fd, headers.data(), sizeof(Phdr) * headers.size(), eh.e_phoff, fileSize))
        return std::nullopt;
    for (const Phdr& ph : headers) {
        if (ph.p_type != PT_NOTE || ph.p_filesz == 0 || ph.p_filesz > kMaxNoteSegment)
            continue;
        std::string segment(ph.p_filesz, '\0');
        if (!readAt(fd, segment.data(), segment.size(), ph.p_offset, fileSize))
            continue;
        if (auto desc = findNote(segment, ph.p_align == 8 ? 8 : 4, owner, type))
            return desc;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ReadElfNote(const std::string& path, std::string_view owner,
                                       std::uint32_t type) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    unsigned char ident[EI_NIDENT];
    if (!readAt(fd.get(), ident, sizeof ident, 0, fileSize) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    constexpr unsigned char nativeData =
        std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != nativeData)
        return std::nullopt;
    if (ident[EI_CLASS] == ELFCLASS64)
        return readNote<Elf64_Ehdr, Elf64_Phdr>(fd.get(), fileSize, owner, type);
    if (ident[EI_CLASS] == ELFCLASS32)
        return readNote<Elf32_Ehdr, Elf32_Phdr>(fd.get(), fileSize, owner, type);
    return std::nullopt;
}

} // namespace kelvora

#include "app/version_info.h"

#include "app/elf_note.h"
#include "app/version_note.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kelvora {
namespace {

constexpr std::array<std::string_view, 12> kVersionKeys = {
    "Comments",     "CompanyName",    "FileDescription", "FileVersion",
    "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
    "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild"};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && lower(s.substr(0, prefix.size())) == lower(prefix);
}

// "041103A4" -> the 4 bytes of the 32-bit value 0x03A40411.
std::optional<std::string> translationBytes(std::string_view hex) {
    if (hex.size() != 8)
        return std::nullopt;
    std::uint32_t digits = 0;
    for (const char c : hex) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (d < 0)
            return std::nullopt;
        digits = digits << 4 | static_cast<std::uint32_t>(d);
    }
    const std::uint32_t value = (digits & 0xFFFF) << 16 | digits >> 16;
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

TVersionInfo TVersionInfo::FromFile(const std::string& executable) {
    const auto text = ReadElfNote(executable, kVersionNoteOwner, kVersionNoteType);
    return text ? TVersionInfo(*text) : TVersionInfo();
}

TVersionInfo::TVersionInfo(std::string_view text) : size_(text.size()) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto eq = line.find('=');
        if (eq != std::string_view::npos)
            values_.emplace(lower(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
}

std::optional<std::string> TVersionInfo::QueryValue(std::string_view path) const {
    constexpr std::string_view translation = "\\VarFileInfo\\Translation";
    constexpr std::string_view strings = "\\StringFileInfo\\";
    if (lower(path) == lower(translation)) {
        const auto it = values_.find("translation");
        return it == values_.end() ? std::nullopt : translationBytes(it->second);
    }
    if (!startsWith(path, strings))
        return std::nullopt;
    const auto it = values_.find(lower(path.substr(strings.size())));
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

std::string_view VersionKeyName(int index) {
    return index >= 0 && index < int(kVersionKeys.size()) ? kVersionKeys[std::size_t(index)]
                                                          : std::string_view();
}

QString GetVersionValue(int index, const std::string& executable) {
    const TVersionInfo info = TVersionInfo::FromFile(executable);
    if (info.Size() == 0)
        return {};
    const auto translation = info.QueryValue("\\VarFileInfo\\Translation");
    if (!translation)
        throw EVersionInfoError(QStringLiteral("情報の取得に失敗しました"));
    std::uint32_t languageAndCodePage = 0;
    std::memcpy(&languageAndCodePage, translation->data(), sizeof languageAndCodePage);
    const std::string_view key = VersionKeyName(index);
    if (key.empty())
        return {};
    char table[32];
    std::snprintf(table, sizeof table, "\\StringFileInfo\\%04X%04X\\",
                  unsigned(languageAndCodePage & 0xFFFF), unsigned(languageAndCodePage >> 16));
    const auto value = info.QueryValue(std::string(table) + std::string(key));
    return value ? QString::fromUtf8(value->data(), qsizetype(value->size())) : QString();
}

} // namespace kelvora

#include "shell/items/column_memory.h"

#include "base/file_io.h"
#include "base/sibling_temporary.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace kelvora {

namespace {

bool isBlank(char c) {
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}

std::optional<int> parseInt(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

// One line of the file; nothing when it is not of the file's shape.
std::optional<std::pair<std::string, TVelShColumnInfos>> parseLine(std::string_view line) {
    const std::vector<std::string> fields = TVelShColumnList::SplitCommaText(line);
    if (fields.size() < 2 || (fields.size() - 2) % 3 != 0)
        return std::nullopt;
    TVelShColumnInfos infos;
    const auto sort = parseInt(fields[1]);
    if (!sort || *sort < 0 || *sort > 255)
        return std::nullopt;
    infos.sortColumn = *sort;
    for (std::size_t i = 2; i < fields.size(); i += 3) {
        const auto order = parseInt(fields[i]);
        const auto width = parseInt(fields[i + 1]);
        const auto direction = parseInt(fields[i + 2]);
        if (!order || !width || !direction)
            return std::nullopt;
        infos.columns.push_back({*order, *width, *direction < 0 ? -1 : 1});
    }
    return std::make_pair(fields[0], std::move(infos));
}

} // namespace

const TVelShColumnInfos* TVelShColumnList::Find(const std::string& key) const {
    auto it = infos_.find(key);
    return it == infos_.end() ? nullptr : &it->second;
}

void TVelShColumnList::Store(const std::string& key, TVelShColumnInfos infos) {
    auto [it, added] = infos_.insert_or_assign(key, std::move(infos));
    if (added)
        keys_.push_back(key);
}

void TVelShColumnList::Clear() {
    keys_.clear();
    infos_.clear();
}

std::vector<std::string> TVelShColumnList::SplitCommaText(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t p = 0;
    const auto at = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
    while (isBlank(at(p)))
        ++p;
    while (at(p) != '\0') {
        std::string field;
        if (at(p) == '"') {
            ++p;
            while (p < line.size()) {
                if (line[p] == '"') {
                    if (at(p + 1) != '"') {
                        ++p;
                        break;
                    }
                    ++p; // a doubled quote
                }
                field += line[p++];
            }
        } else {
            const std::size_t start = p;
            while (at(p) != '\0' && !isBlank(at(p)) && at(p) != ',')
                ++p;
            field.assign(line.substr(start, p - start));
        }
        fields.push_back(std::move(field));
        while (isBlank(at(p)))
            ++p;
        if (at(p) == ',') {
            if (at(p + 1) == '\0')
                fields.emplace_back();
            do
                ++p;
            while (isBlank(at(p)));
        }
    }
    return fields;
}

std::string TVelShColumnList::QuoteString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

std::string TVelShColumnList::Text() const {
    std::string text;
    for (const std::string& key : keys_) {
        const TVelShColumnInfos& infos = infos_.at(key);
        text += QuoteString(key);
        text += ',' + std::to_string(infos.sortColumn);
        for (const TVelShColumnInfo& c : infos.columns) {
            text += ',' + std::to_string(c.order);
            text += ',' + std::to_string(c.width);
            text += ',' + std::to_string(c.direction);
        }
        text += "\r\n";
    }
    return text;
}

void TVelShColumnList::SetText(std::string_view text) {
    Clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        // The first line of a key counts, as when the key is looked up in the file.
        if (auto parsed = parseLine(line); parsed && !Find(parsed->first))
            Store(parsed->first, std::move(parsed->second));
    }
}

bool TVelShColumnList::LoadFromFile(const std::string& fileName) {
    // Read while the list is created, on the GUI thread: whatever stands under the
    // name (a FIFO, a device, a runaway file) must not hold the window up.
    const std::optional<std::string> text = readSmallFile(fileName, kMaxFileBytes);
    if (!text)
        return false;
    SetText(*text);
    return true;
}

bool TVelShColumnList::SaveToFile(const std::string& fileName) const {
    // Written beside the file and renamed over it, by the name's bytes.
    std::string temp;
    UniqueFd fd = CreateSiblingTemporary(fileName, 0666, temp);
    if (!fd.valid())
        return false;
    if (!writeAll(fd.get(), Text()) || !fd.close() ||
        ::rename(temp.c_str(), fileName.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace kelvora

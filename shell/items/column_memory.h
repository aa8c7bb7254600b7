#pragma once
// TVelShColumnList: the file list's column layout per folder, kept in a text
// file beside the program so that it survives a restart.
//
// Per folder key (the folder's path, or its name when it has none): the sort
// column, and per column its place in the displayed order, its width and its
// sort direction. One line per key, ending in CR LF:
//
//   "/home/user/Pictures",0,0,180,1,1,120,-1
//
// The key is quoted (quotes inside doubled); the numbers follow in column
// order as triplets (order, width, direction). Lines are split by the
// comma-text rules: fields end at a comma or a blank unless quoted. A line
// that is not of this shape (a number that does not parse, a cut-off triplet)
// is skipped; the rest of the file still counts. Keys are exact byte strings:
// folders whose names differ only in case are different folders.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvora {

struct TVelShColumnInfo {
    int order = 0; // place in the displayed order
    int width = 0; // pixels
    int direction = 1;
};

struct TVelShColumnInfos {
    int sortColumn = 0;
    std::vector<TVelShColumnInfo> columns; // by column index
};

class TVelShColumnList {
public:
    int Count() const { return static_cast<int>(keys_.size()); }
    // The layout of a key, or null.
    const TVelShColumnInfos* Find(const std::string& key) const;
    void Store(const std::string& key, TVelShColumnInfos infos);
    void Clear();

    // A file larger than this is not read (some ten thousand folders fit).
    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
    // Replaces the content by the file's; false (content unchanged) when the
    // file cannot be read, is no regular file or is larger than kMaxFileBytes.
    bool LoadFromFile(const std::string& fileName);
    // Writes the file whole or not at all; false when it cannot be written.
    bool SaveToFile(const std::string& fileName) const;
    // The file's content, and reading it back.
    std::string Text() const;
    void SetText(std::string_view text);

    // The comma-text rules: fields separated by commas or blanks (bytes up to
    // 0x20); a field that starts with a quote runs to the closing quote, with
    // doubled quotes inside standing for one; a comma at the very end adds an
    // empty field.
    static std::vector<std::string> SplitCommaText(std::string_view line);
    static std::string QuoteString(std::string_view text);

private:
    std::vector<std::string> keys_; // in the order first stored
    std::unordered_map<std::string, TVelShColumnInfos> infos_;
};

} // namespace kelvora

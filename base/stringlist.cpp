#include "base/stringlist.h"

#include "base/file_io.h"

#include <algorithm>

namespace kelvora {

int TStringList::indexOf(const std::string& s) const {
    const auto it = std::find(items_.begin(), items_.end(), s);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

std::string TStringList::text() const {
    std::string out;
    for (const auto& line : items_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void TStringList::setText(const std::string& text) {
    items_.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            items_.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        items_.push_back(text.substr(start));
}

void TStringList::saveToFile(const std::string& fileName) const {
    writeWholeFile(fileName, text());
}

void TStringList::loadFromFile(const std::string& fileName) {
    setText(readWholeFile(fileName));
}

} // namespace kelvora

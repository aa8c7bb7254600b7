#pragma once
// An ordered list of byte strings, saved and loaded as lines ending in CR LF.
#include <string>
#include <vector>

namespace kelvora {

class TStringList {
public:
    int count() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }
    const std::string& operator[](int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    std::string& operator[](int index) { return items_.at(static_cast<std::size_t>(index)); }
    int add(std::string s) {
        items_.push_back(std::move(s));
        return count() - 1;
    }
    void clear() { items_.clear(); }
    void erase(int index) { items_.erase(items_.begin() + index); }
    int indexOf(const std::string& s) const;
    const std::vector<std::string>& items() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Every line followed by CR LF.
    std::string text() const;
    // Splits at CR LF, LF or CR; a last line without an ending still counts.
    void setText(const std::string& text);
    void saveToFile(const std::string& fileName) const;
    void loadFromFile(const std::string& fileName);

    bool operator==(const TStringList&) const = default;

private:
    std::vector<std::string> items_;
};

} // namespace kelvora

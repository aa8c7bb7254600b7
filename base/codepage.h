#pragma once
// The system code page: the multibyte encoding of the byte strings the program
// keeps (file names, user text, files it writes). It is the locale's codeset;
// UTF-8 and CP932 (Shift-JIS) are supported, anything else is treated as UTF-8.
//
// Byte strings are std::string. They become QString only at the widget boundary.

#include <QString>
#include <string>
#include <string_view>

namespace kelvora {

class CodePage {
public:
    enum class Kind { Utf8, Cp932 };

    explicit constexpr CodePage(Kind kind) : kind_(kind) {}

    Kind kind() const { return kind_; }
    // The name registered for the encoding on the web ("UTF-8", "Shift_JIS").
    const char* ianaName() const;

    // Byte length of the character that starts at s[pos]: 1 for ASCII, a
    // stray trail byte or an invalid sequence; 2 for a CP932 lead byte (even
    // if the string ends after it); 2..4 for a valid UTF-8 sequence.
    std::size_t charLength(std::string_view s, std::size_t pos) const;
    bool isLeadByte(unsigned char c) const;

    // Number of UTF-16 code units the text decodes to, each undecodable byte
    // counting as one.
    std::size_t wideLength(std::string_view s) const;

    QString toUnicode(std::string_view s) const;
    std::string fromUnicode(const QString& s) const;
    // For showing a name: like toUnicode, but every byte that is no character of
    // the code page appears as "\xHH", so that two different names never look
    // alike and nothing is silently dropped.
    QString toDisplay(std::string_view s) const;
    // For carrying bytes through code that works on text (a command-line parser):
    // like toUnicode, but a byte that starts no character converting back to the same
    // bytes becomes U+DC80 + byte, which no text of the code page contains, so that
    // fromLossless gives back exactly the bytes. Not for showing.
    QString toLossless(std::string_view s) const;
    std::string fromLossless(const QString& s) const;

    // The process-wide code page: the locale's, unless a test or the program
    // chose another with setSystem().
    static const CodePage& system();
    static void setSystem(Kind kind);
    static Kind fromLocale();

private:
    Kind kind_;
};

// Shorthands for the widget boundary, in the system code page.
inline QString toQ(std::string_view s) {
    return CodePage::system().toUnicode(s);
}
inline std::string fromQ(const QString& s) {
    return CodePage::system().fromUnicode(s);
}
inline QString toDisplayQ(std::string_view s) {
    return CodePage::system().toDisplay(s);
}
inline QString toLosslessQ(std::string_view s) {
    return CodePage::system().toLossless(s);
}
inline std::string fromLosslessQ(const QString& s) {
    return CodePage::system().fromLossless(s);
}

} // namespace kelvora

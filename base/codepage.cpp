#include "base/codepage.h"

#include <atomic>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <mutex>
#include <strings.h>

namespace kelvora {
namespace {

// Length of a well-formed UTF-8 sequence at s[pos], or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view s, std::size_t pos) {
    const auto c = static_cast<unsigned char>(s[pos]);
    std::size_t len;
    char32_t min;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (pos + len > s.size())
        return 0;
    char32_t cp = c & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        const auto t = static_cast<unsigned char>(s[pos + i]);
        if ((t & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// iconv descriptors are not thread-safe; conversions are short, so one lock serves.
struct Cp932Converter {
    std::mutex lock;
    iconv_t toUtf16 = iconv_open("UTF-16LE", "CP932");
    iconv_t fromUtf16 = iconv_open("CP932", "UTF-16LE");
};
Cp932Converter& cp932() {
    static Cp932Converter c;
    return c;
}

QString cp932ToUnicode(std::string_view s) {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    auto& conv = cp932();
    std::lock_guard guard(conv.lock);
    if (conv.toUtf16 == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    iconv(conv.toUtf16, nullptr, nullptr, nullptr, nullptr);
    std::size_t pos = 0;
    char16_t buffer[256];
    while (pos < s.size()) {
        char* in = const_cast<char*>(s.data() + pos);
        std::size_t inLeft = s.size() - pos;
        char* outp = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(conv.toUtf16, &in, &inLeft, &outp, &outLeft);
        out.append(reinterpret_cast<const QChar*>(buffer),
                   static_cast<qsizetype>((sizeof buffer - outLeft) / 2));
        pos = static_cast<std::size_t>(in - s.data());
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An undecodable byte (or a lead byte at the very end) stands for itself.
            out.append(QChar(0xFFFD));
            ++pos;
            iconv(conv.toUtf16, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

std::string unicodeToCp932(const QString& s) {
    std::string out;
    auto& conv = cp932();
    std::lock_guard guard(conv.lock);
    if (conv.fromUtf16 == reinterpret_cast<iconv_t>(-1))
        return s.toStdString();
    iconv(conv.fromUtf16, nullptr, nullptr, nullptr, nullptr);
    const char* data = reinterpret_cast<const char*>(s.utf16());
    std::size_t inLeft = static_cast<std::size_t>(s.size()) * 2;
    char* in = const_cast<char*>(data);
    char buffer[512];
    while (inLeft > 0) {
        char* outp = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(conv.fromUtf16, &in, &inLeft, &outp, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Characters CP932 lacks become "?", as the system conversion does.
            out.push_back('?');
            const std::size_t skip = std::min<std::size_t>(inLeft, 2);
            in += skip;
            inLeft -= skip;
            iconv(conv.fromUtf16, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

std::atomic<int> systemKind{-1};
const CodePage utf8Page(CodePage::Kind::Utf8);
const CodePage cp932Page(CodePage::Kind::Cp932);

} // namespace

const char* CodePage::ianaName() const {
    return kind_ == Kind::Cp932 ? "Shift_JIS" : "UTF-8";
}

bool CodePage::isLeadByte(unsigned char c) const {
    if (kind_ == Kind::Cp932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return c >= 0xC2 && c <= 0xF4;
}

std::size_t CodePage::charLength(std::string_view s, std::size_t pos) const {
    if (pos >= s.size())
        return 0;
    if (kind_ == Kind::Cp932)
        return isLeadByte(static_cast<unsigned char>(s[pos])) ? 2 : 1;
    const std::size_t len = utf8SequenceLength(s, pos);
    return len == 0 ? 1 : len;
}

std::size_t CodePage::wideLength(std::string_view s) const {
    if (kind_ == Kind::Cp932)
        return static_cast<std::size_t>(cp932ToUnicode(s).size());
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t len = utf8SequenceLength(s, pos);
        units += len == 4 ? 2 : 1;
        pos += len == 0 ? 1 : len;
    }
    return units;
}

QString CodePage::toUnicode(std::string_view s) const {
    if (kind_ == Kind::Cp932)
        return cp932ToUnicode(s);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string CodePage::fromUnicode(const QString& s) const {
    if (kind_ == Kind::Cp932)
        return unicodeToCp932(s);
    return s.toStdString();
}

QString CodePage::toDisplay(std::string_view s) const {
    static constexpr QChar kReplacement(0xFFFD);
    QString whole = toUnicode(s);
    if (!whole.contains(kReplacement))
        return whole;
    // Character by character, so that only the bytes that do not decode are marked.
    static constexpr std::string_view kEncodedReplacement = "\xEF\xBF\xBD";
    QString out;
    out.reserve(whole.size() + 8);
    for (std::size_t pos = 0; pos < s.size();) {
        const std::string_view unit = s.substr(pos, charLength(s, pos));
        const QString text = toUnicode(unit);
        if (text.contains(kReplacement) && unit != kEncodedReplacement) {
            // Only the byte that starts no character is marked: a CP932 lead byte
            // before a byte that cannot follow it ("caf\xE9.txt") leaves that byte to
            // stand for itself, as the decoder does.
            out += QStringLiteral("\\x") + QString::number(static_cast<unsigned char>(unit[0]), 16)
                                               .rightJustified(2, QLatin1Char('0'))
                                               .toUpper();
            pos += 1;
        } else {
            out += text;
            pos += unit.size();
        }
    }
    return out;
}

namespace {
constexpr char16_t kEscapeBase = 0xDC80; // U+DC80 + byte: a lone low surrogate
} // namespace

QString CodePage::toLossless(std::string_view s) const {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    for (std::size_t pos = 0; pos < s.size();) {
        const std::string_view unit = s.substr(pos, charLength(s, pos));
        const QString text = toUnicode(unit);
        if (fromUnicode(text) == unit) {
            out += text;
            pos += unit.size();
        } else {
            out += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(s[pos])));
            pos += 1;
        }
    }
    return out;
}

std::string CodePage::fromLossless(const QString& s) const {
    std::string out;
    qsizetype start = 0; // of the text not yet converted
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        const bool escaped =
            c >= kEscapeBase && c <= kEscapeBase + 0xFF && (i == 0 || !s[i - 1].isHighSurrogate());
        if (!escaped)
            continue;
        out += fromUnicode(s.mid(start, i - start));
        out += static_cast<char>(c - kEscapeBase);
        start = i + 1;
    }
    out += fromUnicode(s.mid(start));
    return out;
}

CodePage::Kind CodePage::fromLocale() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset && (strcasecmp(codeset, "CP932") == 0 || strcasecmp(codeset, "SHIFT_JIS") == 0 ||
                    strcasecmp(codeset, "SJIS") == 0 || strcasecmp(codeset, "WINDOWS-31J") == 0 ||
                    strcasecmp(codeset, "SHIFT-JIS") == 0))
        return Kind::Cp932;
    return Kind::Utf8;
}

const CodePage& CodePage::system() {
    int kind = systemKind.load(std::memory_order_relaxed);
    if (kind < 0) {
        kind = static_cast<int>(fromLocale());
        systemKind.store(kind, std::memory_order_relaxed);
    }
    return kind == static_cast<int>(Kind::Cp932) ? cp932Page : utf8Page;
}

void CodePage::setSystem(Kind kind) {
    systemKind.store(static_cast<int>(kind));
}

} // namespace kelvora

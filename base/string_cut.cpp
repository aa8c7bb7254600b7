#include "base/string_cut.h"

#include "base/codepage.h"

namespace kelvora {

int MbLen(std::string_view s) {
    // Counted by the same walk as MbMidFrom, so that MbRight's arithmetic holds
    // for every text: a character outside the BMP (two UTF-16 units) counts once.
    const CodePage& cp = CodePage::system();
    int count = 0;
    for (std::size_t p = 0; p < s.size(); p += cp.charLength(s, p))
        ++count;
    return count;
}

std::string MbMidFrom(std::string_view s, int n) {
    const CodePage& cp = CodePage::system();
    int i = 0;
    for (std::size_t p = 0; p < s.size(); p += cp.charLength(s, p)) {
        if (++i >= n)
            return std::string(s.substr(p));
    }
    return {};
}

std::string MbRight(std::string_view s, int n) {
    const int count = MbLen(s);
    if (count - n < 0)
        return {};
    return MbMidFrom(s, count - n + 1);
}

} // namespace kelvora

#pragma once
// Readable Qt Test failures for the standard strings and lists tests compare.
#include <QTest>
#include <string>
#include <vector>

namespace QTest {
template <> inline char* toString(const std::string& s) {
    return qstrdup(s.c_str());
}
template <> inline char* toString(const std::vector<std::string>& v) {
    std::string out = "{";
    for (const std::string& s : v)
        out += (out.size() > 1 ? ", " : "") + s;
    return qstrdup((out + "}").c_str());
}
template <> inline char* toString(const std::vector<int>& v) {
    std::string out = "{";
    for (const int i : v)
        out += (out.size() > 1 ? ", " : "") + std::to_string(i);
    return qstrdup((out + "}").c_str());
}
} // namespace QTest

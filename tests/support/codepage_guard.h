#pragma once
#include "base/codepage.h"

namespace kelvora::test {

// Switches the system code page for one test and restores the locale's afterwards.
class CodePageGuard {
public:
    explicit CodePageGuard(CodePage::Kind kind) { CodePage::setSystem(kind); }
    ~CodePageGuard() { CodePage::setSystem(CodePage::fromLocale()); }
    CodePageGuard(const CodePageGuard&) = delete;
    CodePageGuard& operator=(const CodePageGuard&) = delete;
};

} // namespace kelvora::test

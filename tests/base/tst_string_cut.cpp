#include "base/do_events.h"
#include "base/string_cut.h"
#include "tests/support/codepage_guard.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::CodePageGuard;

namespace {
// 表 in CP932: its trail byte is the ASCII code of "\".
const std::string kHyoCp932 = "\x95\x5C";
// 日本語 in CP932 (three double-byte characters, six bytes).
const std::string kNihongoCp932 = "\x93\xFA\x96\x7B\x8C\xEA";
} // namespace

TEST(StringCut, AsciiCountsAndCuts) {
    for (auto kind : {CodePage::Kind::Utf8, CodePage::Kind::Cp932}) {
        CodePageGuard guard(kind);
        EXPECT_EQ(MbLen(""), 0);
        EXPECT_EQ(MbLen("xy"), 2);
        EXPECT_EQ(MbRight("xyz", 1), "z");
        EXPECT_EQ(MbRight("xyz", 3), "xyz");
        EXPECT_EQ(MbRight("xyz", 5), "");
        EXPECT_EQ(MbRight("xyz", 0), "");
        EXPECT_EQ(MbMidFrom("xyz", 0), "xyz");
        EXPECT_EQ(MbMidFrom("xyz", 1), "xyz");
        EXPECT_EQ(MbMidFrom("xyz", 2), "yz");
        EXPECT_EQ(MbMidFrom("xyz", 4), "");
        EXPECT_EQ(MbMidFrom("", 1), "");
    }
}

TEST(StringCut, Cp932DoubleByteCharactersStayWhole) {
    CodePageGuard guard(CodePage::Kind::Cp932);
    EXPECT_EQ(MbLen(kNihongoCp932), 3);
    EXPECT_EQ(MbRight(kNihongoCp932, 1), "\x8C\xEA");
    EXPECT_EQ(MbMidFrom(kNihongoCp932, 2), "\x96\x7B\x8C\xEA");
    EXPECT_EQ(MbRight("a" + kHyoCp932, 1), kHyoCp932);
    // A lead byte at the very end is one (broken) character, not a split pair.
    EXPECT_EQ(MbLen("ab\x95"), 3);
    EXPECT_EQ(MbRight("ab\x95", 1), "\x95");
}

TEST(StringCut, Utf8MultibyteCharacters) {
    CodePageGuard guard(CodePage::Kind::Utf8);
    const std::string text = "写真表"; // 3 characters, 9 bytes
    EXPECT_EQ(MbLen(text), 3);
    EXPECT_EQ(MbRight(text, 1), "表");
    EXPECT_EQ(MbMidFrom(text, 2), "真表");
    // A character outside the BMP counts once, so MbRight still finds it.
    EXPECT_EQ(MbRight("a\xF0\x9F\x93\xB7", 1), "\xF0\x9F\x93\xB7");
    // Invalid bytes count one each.
    EXPECT_EQ(MbLen("a\xFF\xFE"), 3);
}

TEST(StringCut, TrailByteBackslashIsNoCharacterOfItsOwn) {
    CodePageGuard guard(CodePage::Kind::Cp932);
    // On Windows the folder "表" looked as if it ended in "\"; the character walk
    // sees one character, so the separator test is done on whole characters.
    EXPECT_NE(MbRight(kHyoCp932, 1), "\\");
    EXPECT_EQ(MbRight(kHyoCp932 + "/", 1), "/");
}

TEST(DoEvents, RunsPendingWorkAndReturnsOnEmptyQueue) {
    int calls = 0;
    QTimer::singleShot(0, [&] { ++calls; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ++calls; }, Qt::QueuedConnection);
    DoEvents();
    EXPECT_EQ(calls, 2);
    DoEvents(); // nothing waiting: returns at once instead of blocking
}

// String lists as CR LF files, and the two code pages byte strings live in.
#include "base/codepage.h"
#include "base/stringlist.h"
#include "tests/support/codepage_guard.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::readFile;
using kelvora::test::TempDir;

TEST(StringList, TextEndsEveryLineWithCrLf) {
    TStringList list;
    list.add("first");
    list.add("");
    list.add("表示");
    EXPECT_EQ(list.text(), "first\r\n\r\n表示\r\n");
    EXPECT_EQ(TStringList().text(), "");
}

TEST(StringList, SetTextSplitsAtEveryLineEnding) {
    TStringList list;
    list.setText("a\r\nb\nc\rd\r\n\r\ne");
    EXPECT_EQ(list.items(), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
    list.setText("only\r\n");
    EXPECT_EQ(list.items(), (std::vector<std::string>{"only"}));
    list.setText("");
    EXPECT_TRUE(list.empty());
}

TEST(StringList, FileRoundTripIsByteExact) {
    TempDir dir;
    TStringList list;
    list.add("C:\\写真\\表.jpg"); // CP932 trail bytes and backslashes stay untouched
    list.add(std::string("\x95\x5C\x81", 3));
    list.add("");
    const std::string file = dir.file("list.txt");
    list.saveToFile(file);
    EXPECT_EQ(readFile(file), list[0] + "\r\n" + list[1] + "\r\n\r\n");
    TStringList loaded;
    loaded.loadFromFile(file);
    EXPECT_EQ(loaded, list);
}

TEST(CodePageUtf8, CharacterLengths) {
    const CodePage utf8(CodePage::Kind::Utf8);
    const std::string s = "a\xE3\x81\x82\xF0\x9F\x98\x80\xFF\xC0\x80\xE3\x81";
    EXPECT_EQ(utf8.charLength(s, 0), 1u);  // a
    EXPECT_EQ(utf8.charLength(s, 1), 3u);  // あ
    EXPECT_EQ(utf8.charLength(s, 4), 4u);  // an emoji
    EXPECT_EQ(utf8.charLength(s, 8), 1u);  // 0xFF is never valid
    EXPECT_EQ(utf8.charLength(s, 9), 1u);  // overlong NUL
    EXPECT_EQ(utf8.charLength(s, 11), 1u); // cut-off sequence
    EXPECT_EQ(utf8.charLength(s, s.size()), 0u);
    // a, あ, two units for the emoji, then one for each of the five bad bytes
    EXPECT_EQ(utf8.wideLength(s), 1u + 1u + 2u + 5u);
}

TEST(CodePageUtf8, ConversionRoundTrip) {
    const CodePage utf8(CodePage::Kind::Utf8);
    const QString text = QStringLiteral("写真アルバム 😀");
    EXPECT_EQ(utf8.toUnicode(utf8.fromUnicode(text)), text);
    EXPECT_EQ(utf8.fromUnicode(QStringLiteral("表")), "\xE8\xA1\xA8");
    EXPECT_STREQ(utf8.ianaName(), "UTF-8");
}

TEST(CodePageCp932, TrailByteBackslashBelongsToTheCharacter) {
    const CodePage sjis(CodePage::Kind::Cp932);
    const std::string hyou("\x95\x5C", 2); // 表: its second byte is "\"
    EXPECT_EQ(sjis.charLength(hyou + "\\", 0), 2u);
    EXPECT_EQ(sjis.charLength(hyou + "\\", 2), 1u);
    EXPECT_EQ(sjis.toUnicode(hyou + "\\"), QStringLiteral("表\\"));
    EXPECT_EQ(sjis.fromUnicode(QStringLiteral("表")), hyou);
    EXPECT_EQ(sjis.wideLength(hyou + "\\"), 2u);
    EXPECT_STREQ(sjis.ianaName(), "Shift_JIS");
}

TEST(CodePageCp932, LengthsAndConversions) {
    const CodePage sjis(CodePage::Kind::Cp932);
    const QString text = QStringLiteral("ｱｲ写真①ー");
    const std::string bytes = sjis.fromUnicode(text);
    EXPECT_EQ(bytes, std::string("\xB1\xB2\x8E\xCA\x90\x5E\x87\x40\x81\x5B"));
    EXPECT_EQ(sjis.charLength(bytes, 0), 1u); // half-width katakana
    EXPECT_EQ(sjis.charLength(bytes, 2), 2u);
    EXPECT_EQ(sjis.wideLength(bytes), 6u);
    EXPECT_EQ(sjis.toUnicode(bytes), text);
}

TEST(CodePageCp932, InvalidBytes) {
    const CodePage sjis(CodePage::Kind::Cp932);
    // 0xA0 is no character; a lead byte at the very end has no trail byte.
    const std::string bad("A\xA0"
                          "B\x95",
                          4);
    EXPECT_EQ(sjis.charLength(bad, 3), 2u); // a lead byte counts two even when cut off
    EXPECT_EQ(sjis.toUnicode(bad), QStringLiteral("A\uFFFDB\uFFFD"));
    EXPECT_EQ(sjis.wideLength(bad), 4u);
    // Characters CP932 lacks become "?".
    EXPECT_EQ(sjis.fromUnicode(QStringLiteral("a한b")), "a?b");
}

TEST(CodePage, DisplayMarksEveryByteThatIsNoCharacter) {
    const struct {
        CodePage::Kind kind;
        std::string bytes;
        QString shown;
    } cases[] = {
        {CodePage::Kind::Utf8, "photo.jpg", QStringLiteral("photo.jpg")},
        {CodePage::Kind::Utf8, "\xE5\x86\x99\xFF.jpg", QStringLiteral("写\\xFF.jpg")},
        {CodePage::Kind::Utf8, "\xFE.jpg", QStringLiteral("\\xFE.jpg")},
        // A replacement character that is really in the name stays one.
        {CodePage::Kind::Utf8, "\xEF\xBF\xBD\xFE", QStringLiteral("\uFFFD\\xFE")},
        {CodePage::Kind::Cp932, std::string("\x95\x5C\xA0", 3), QStringLiteral("表\\xA0")},
        // A lead byte before a byte that cannot follow it: only the lead byte is odd.
        {CodePage::Kind::Cp932, "caf\xE9.txt", QStringLiteral("caf\\xE9.txt")},
        {CodePage::Kind::Cp932, "\xFF\xFE.jpg", QStringLiteral("\\xFF\\xFE.jpg")},
        {CodePage::Kind::Cp932, "\x95", QStringLiteral("\\x95")}, // cut off at the end
        {CodePage::Kind::Utf8, "\xE3\x81.jpg", QStringLiteral("\\xE3\\x81.jpg")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodePage(c.kind).toDisplay(c.bytes), c.shown) << c.bytes;
    // Names that differ only in bytes that do not decode look different.
    const CodePage utf8(CodePage::Kind::Utf8);
    EXPECT_NE(utf8.toDisplay("a\xFE"), utf8.toDisplay("a\xFF"));
}

// Bytes carried as text come back as they were, whatever they are; characters that
// convert back to themselves stay plain text.
TEST(CodePage, LosslessTextGivesBackTheBytes) {
    const struct {
        CodePage::Kind kind;
        std::string bytes;
        bool plain; // toLossless is the ordinary text
    } cases[] = {
        {CodePage::Kind::Utf8, "写真.jpg", true},
        {CodePage::Kind::Utf8, "caf\xE9.jpg", false},
        {CodePage::Kind::Utf8, "\xEF\xBF\xBD\xFF", false},
        // U+10080: its low surrogate is one of the escapes, but it follows a high one.
        {CodePage::Kind::Utf8, "\xF0\x90\x82\x80", true},
        {CodePage::Kind::Cp932, "\x95\x5C.jpg", true},
        {CodePage::Kind::Cp932, "caf\xE9.txt", false},
        // NEC's copy of an IBM character converts back to the IBM bytes.
        {CodePage::Kind::Cp932, "\xED\x40", false},
    };
    for (const auto& c : cases) {
        const CodePage page(c.kind);
        const QString text = page.toLossless(c.bytes);
        EXPECT_EQ(page.fromLossless(text), c.bytes) << c.bytes;
        EXPECT_EQ(text == page.toUnicode(c.bytes), c.plain) << c.bytes;
    }
}

TEST(CodePageSystem, ShorthandsFollowTheSystemCodePage) {
    {
        kelvora::test::CodePageGuard guard(CodePage::Kind::Cp932);
        EXPECT_EQ(fromQ(QStringLiteral("表")), std::string("\x95\x5C", 2));
        EXPECT_EQ(toQ(std::string("\x95\x5C", 2)), QStringLiteral("表"));
    }
    kelvora::test::CodePageGuard guard(CodePage::Kind::Utf8);
    EXPECT_EQ(fromQ(QStringLiteral("表")), "\xE8\xA1\xA8");
}

// Reading Option.ini-style files: how names and values are found and cooked, and
// integers and booleans parsed.
#include "settings/inifile.h"

#include "base/codepage.h"
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <climits>
#include <gtest/gtest.h>
#include <string>

namespace kelvora {
namespace {

using namespace std::string_literals;
using test::TempDir;

// A file with the given bytes in a fresh folder.
class IniRead : public ::testing::Test {
protected:
    TIniFile file(std::string_view bytes) { return TIniFile(dir.write("Option.ini", bytes)); }
    TempDir dir;
};

// Restores the process-wide code page after a test switched it.
class CodePageScope {
public:
    explicit CodePageScope(CodePage::Kind kind) : saved_(CodePage::system().kind()) {
        CodePage::setSystem(kind);
    }
    ~CodePageScope() { CodePage::setSystem(saved_); }

private:
    CodePage::Kind saved_;
};

TEST_F(IniRead, MissingFileSectionOrKeyGiveTheDefault) {
    const TIniFile missing(dir.file("Option.ini"));
    EXPECT_EQ(missing.ReadString("Large", "Header", "L"), "L");
    EXPECT_EQ(missing.ReadInteger("Large", "Quality", 255), 255);
    EXPECT_TRUE(missing.ReadBool("Large", "Consecutive", true));
    EXPECT_FALSE(missing.ReadBool("Large", "Consecutive", false));

    const TIniFile ini = file("[Large]\r\nHeader=X\r\n");
    EXPECT_EQ(ini.ReadString("Small", "Header", "S"), "S");
    EXPECT_EQ(ini.ReadString("Large", "Folder", "large"), "large");
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "X");
}

TEST_F(IniRead, FolderOrDeviceInPlaceOfTheFileGivesDefaults) {
    EXPECT_EQ(TIniFile(dir.path()).ReadString("Large", "Header", "L"), "L");
    EXPECT_EQ(TIniFile("/dev/null").ReadInteger("Large", "Rate", 50), 50);
    EXPECT_EQ(TIniFile(dir.write("f", "x") + "/Option.ini").ReadString("A", "B", "d"), "d");
}

TEST_F(IniRead, PresentButEmptyValueIsEmptyNotTheDefault) {
    const TIniFile ini = file("[Large]\r\nHeader=\r\nVertical=  \r\nRate=\"\"\r\n");
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "");
    EXPECT_EQ(ini.ReadString("Large", "Vertical", "300"), "");
    EXPECT_EQ(ini.ReadString("Large", "Rate", "50"), "");
    // As an integer the same empty text is no number.
    EXPECT_EQ(ini.ReadInteger("Large", "Vertical", 300), 300);
}

TEST_F(IniRead, BlanksAroundNamesAndValuesAreDropped) {
    const TIniFile ini = file("  [ Large\t]  trailing\r\n\t Header \t=  a b \t\r\nFolder=x\t\r\n");
    EXPECT_EQ(ini.ReadString("Large", "Header", ""), "a b");
    EXPECT_EQ(ini.ReadString("Large", "Folder", ""), "x");
}

TEST_F(IniRead, OnePairOfMatchingQuotesIsRemoved) {
    const TIniFile ini = file("[Q]\n"
                              "a=\"x y\"\n"
                              "b='x'\n"
                              "c= \" padded \" \n"
                              "d=\"mixed'\n"
                              "e=\"\n"
                              "f=\"\"twice\"\"\n"
                              "g=x\"y\"\n");
    EXPECT_EQ(ini.ReadString("Q", "a", ""), "x y");
    EXPECT_EQ(ini.ReadString("Q", "b", ""), "x");
    EXPECT_EQ(ini.ReadString("Q", "c", ""), " padded ");
    EXPECT_EQ(ini.ReadString("Q", "d", ""), "\"mixed'");
    EXPECT_EQ(ini.ReadString("Q", "e", ""), "\"");
    EXPECT_EQ(ini.ReadString("Q", "f", ""), "\"twice\"");
    EXPECT_EQ(ini.ReadString("Q", "g", ""), "x\"y\"");
}

TEST_F(IniRead, SectionAndKeyNamesMatchInEitherCase) {
    const TIniFile ini = file("[large]\r\nheader=h\r\nQUALITY=80\r\n");
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "h");
    EXPECT_EQ(ini.ReadInteger("LARGE", "quality", 255), 80);
}

TEST_F(IniRead, KeyEndsAtTheFirstEqualsSign) {
    const TIniFile ini = file("[S]\nk=a=b==\nx y=1\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "a=b==");
    EXPECT_EQ(ini.ReadString("S", "x y", ""), "1");
    EXPECT_EQ(ini.ReadString("S", "k=a", "none"), "none");
}

TEST_F(IniRead, OnlyTheExactKeyNameIsRead) {
    const TIniFile ini = file("[Large]\r\nHorizontal=640\r\nVert=1\r\n");
    EXPECT_EQ(ini.ReadInteger("Large", "Horizonal", 300), 300);
    EXPECT_EQ(ini.ReadInteger("Large", "Vertical", 300), 300);
    EXPECT_EQ(ini.ReadInteger("Large", "Horizontal", 300), 640);
}

TEST_F(IniRead, CommentsStrayLinesAndKeysOutsideSectionsAreIgnored) {
    const TIniFile ini = file("Header=before\r\n"
                              "[Large\r\n"
                              "; Header=comment\r\n"
                              "[Large]\r\n"
                              "just text\r\n"
                              "  ;Folder=comment\r\n"
                              "=nameless\r\n"
                              "Folder=f\r\n");
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "L");
    EXPECT_EQ(ini.ReadString("Large", "Folder", "large"), "f");
    EXPECT_EQ(ini.ReadString("Large", "", "d"), "d");
}

TEST_F(IniRead, FirstOfDuplicateSectionsAndKeysWins) {
    const TIniFile ini =
        file("[Large]\nRate=1\nrate=2\n[Small]\nRate=3\n[LARGE]\nRate=4\nHeader=5\n");
    EXPECT_EQ(ini.ReadInteger("Large", "Rate", 0), 1);
    // Only the first section of a name is looked at.
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "L");
    EXPECT_EQ(ini.ReadInteger("Small", "Rate", 0), 3);
}

TEST_F(IniRead, AnyLineEndingAByteOrderMarkAndNoFinalBreakAreAccepted) {
    for (const char* text : {"\xEF\xBB\xBF[A]\r\nk=1\r\nm=2", "[A]\nk=1\nm=2", "[A]\rk=1\rm=2",
                             "[A]\r\n\r\rk=1\n\r\nm=2\r"}) {
        SCOPED_TRACE(text);
        const TIniFile ini = file(text);
        EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
        EXPECT_EQ(ini.ReadString("A", "m", ""), "2");
    }
    // A mark that is not at the start is part of the line.
    EXPECT_EQ(file("\n\xEF\xBB\xBF[A]\nk=1\n").ReadString("A", "k", "none"), "none");
}

TEST_F(IniRead, IntegerForms) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"0x20", 32},
        {"0X1f", 31},
        {"$1F", 31},
        {"-$10", -16},
        {"+7", 7},
        {"-0", 0},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"0x7FFFFFFF", INT_MAX},
        {"0x80000000", INT_MIN}, // hexadecimal is the 32-bit pattern
        {"0xFFFFFFFF", -1},
        {"$FFFFFFFF", -1},
        {"0x00000000FF", 255},
        {"2", 2},
        // no integer: the default
        {"0x", -9},
        {"0X", -9},
        {"$", -9},
        {"-", -9},
        {"abc", -9},
        {"12a", -9},
        {"1 2", -9},
        {"0x1G", -9},
        {"0x-1", -9},
        {"x20", -9},
        {"1.5", -9},
        {"2147483648", -9},
        {"-2147483649", -9},
        {"99999999999999999999", -9},
        {"0x100000000", -9},
        {"$100000000", -9},
        {"' 12'", -9},
    };
    const auto key = [](std::size_t i) { return std::string("k").append(std::to_string(i)); };
    std::string text = "[N]\r\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text.append(key(i)).append("=").append(cases[i].text).append("\r\n");
    const TIniFile ini = file(text);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].text);
        EXPECT_EQ(ini.ReadInteger("N", key(i), -9), cases[i].expected);
    }
    EXPECT_EQ(ini.ReadInteger("N", "absent", -9), -9);
}

TEST_F(IniRead, BooleansAreAnyNonZeroInteger) {
    const TIniFile ini = file("[B]\na=1\nb=0\nc=2\nd=-1\ne=0x0\nf=abc\ng=\n");
    for (const bool def : {false, true}) {
        EXPECT_TRUE(ini.ReadBool("B", "a", def));
        EXPECT_FALSE(ini.ReadBool("B", "b", def));
        EXPECT_TRUE(ini.ReadBool("B", "c", def));
        EXPECT_TRUE(ini.ReadBool("B", "d", def));
        EXPECT_FALSE(ini.ReadBool("B", "e", def));
        EXPECT_EQ(ini.ReadBool("B", "f", def), def);
        EXPECT_EQ(ini.ReadBool("B", "g", def), def);
        EXPECT_EQ(ini.ReadBool("B", "absent", def), def);
    }
}

TEST_F(IniRead, ValuesAreCutTo2047BytesOnCharacterBoundaries) {
    const auto readBack = [&](const std::string& value) {
        return file("[A]\r\nk=" + value + "\r\n").ReadString("A", "k", "");
    };
    EXPECT_EQ(readBack(std::string(2047, 'x')), std::string(2047, 'x'));
    EXPECT_EQ(readBack(std::string(3000, 'x')), std::string(2047, 'x'));
    // Quotes go before the cut: 2047 characters inside them all come back.
    EXPECT_EQ(readBack("\"" + std::string(2047, 'q') + "\""), std::string(2047, 'q'));

    {
        // "あ" is three bytes in UTF-8: 682 of them fill 2046 bytes, the 683rd would cross.
        const CodePageScope utf8(CodePage::Kind::Utf8);
        std::string text;
        for (int i = 0; i < 700; ++i)
            text += "\xE3\x81\x82";
        EXPECT_EQ(readBack(text), text.substr(0, 2046));
    }
    {
        // Two-byte CP932 characters alone: the 1024th would straddle the limit. After one
        // ASCII byte, 1023 of them end exactly at it.
        const CodePageScope cp932(CodePage::Kind::Cp932);
        std::string text;
        for (int i = 0; i < 1100; ++i)
            text += "\x95\x5C"; // 表, whose trail byte is a backslash
        EXPECT_EQ(readBack(text), text.substr(0, 2046));
        EXPECT_EQ(readBack("a" + text), ("a" + text).substr(0, 2047));
    }
}

TEST_F(IniRead, Cp932NamesMatchByCharacterNotByByte) {
    const CodePageScope cp932(CodePage::Kind::Cp932);
    // ゾ ends in the byte of "]"; ア ends in "A" and ャ in "a".
    const TIniFile ini = file("[\x83\x5D]\r\n\x83\x41=upper\r\n\x83\x61=lower\r\n");
    EXPECT_EQ(ini.ReadString("\x83\x5D", "\x83\x41", ""), "upper");
    EXPECT_EQ(ini.ReadString("\x83\x5D", "\x83\x61", ""), "lower");
}

TEST_F(IniRead, BrokenFilesStillGiveTheKeysThatCanBeRead) {
    std::string junk;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        junk += static_cast<char>(state >> 16);
    }
    const std::string longLine(3'000'000, 'z');
    const TIniFile ini =
        file(junk + "\n[Large]\r\nnul\0byte=1\r\nHeader=ab\0cd\r\n"s + longLine + "=" + longLine +
             "\n" + junk + "\n[Large]\r\nRate=7\n[Small]\nRate=8\nFolder=" + longLine);
    EXPECT_EQ(ini.ReadString("Large", "Header", "L"), "ab"); // a value stops at NUL
    EXPECT_EQ(ini.ReadInteger("Small", "Rate", 30), 8);
    EXPECT_EQ(ini.ReadString("Small", "Folder", ""), std::string(2047, 'z'));
    EXPECT_EQ(ini.ReadString("Small", "Missing", "d"), "d");
}

TEST(OptionFilePath, IsOptionIniBesideTheExecutable) {
    EXPECT_EQ(toQ(OptionFilePath()), QCoreApplication::applicationDirPath() + "/Option.ini");
    EXPECT_EQ(OptionFilePath("/opt/kelvora"), "/opt/kelvora/Option.ini");
    EXPECT_EQ(OptionFilePath("/opt/kelvora//"), "/opt/kelvora/Option.ini");
    EXPECT_EQ(OptionFilePath("/"), "/Option.ini");
}

} // namespace
} // namespace kelvora

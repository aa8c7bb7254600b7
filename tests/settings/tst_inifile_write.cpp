// Writing Option.ini-style files: the exact bytes written, what is kept, and how a
// refused write leaves the old file.
#include "settings/inifile.h"

#include "base/codepage.h"
#include "base/errors.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kelvora {
namespace {

using test::FileSizeLimit;
using test::readFile;
using test::TempDir;

class IniWrite : public ::testing::Test {
protected:
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
    TempDir dir;
    std::string path = dir.file("Option.ini");
};

std::string refusal(const std::string& path) {
    return path + " に書き込めません";
}

// The message of the EIniFileException that `write` raises, or "" when it raises none.
template <class Write> std::string refusalOf(Write write) {
    try {
        write();
    } catch (const EIniFileException& e) {
        return e.what();
    }
    return {};
}

TEST_F(IniWrite, FirstSaveOfBothSectionsWritesThisExactFile) {
    TIniFile ini(path);
    for (const char* section : {"Large", "Small"}) {
        const bool large = std::string(section) == "Large";
        ini.WriteString(section, "Header", large ? "L" : "S");
        ini.WriteString(section, "Folder", large ? "large" : "Small");
        ini.WriteString(section, "PictureType", "Jpeg");
        ini.WriteInteger(section, "Quality", 100);
        ini.WriteBool(section, "PictureSizeMode", true);
        ini.WriteInteger(section, "Rate", large ? 50 : 30);
        ini.WriteString(section, "Vertical", large ? "300" : "100");
        ini.WriteString(section, "Horizonal", large ? "300" : "100");
        ini.WriteBool(section, "Consecutive", !large);
    }
    EXPECT_EQ(readFile(path), "[Large]\r\n"
                              "Header=L\r\n"
                              "Folder=large\r\n"
                              "PictureType=Jpeg\r\n"
                              "Quality=100\r\n"
                              "PictureSizeMode=1\r\n"
                              "Rate=50\r\n"
                              "Vertical=300\r\n"
                              "Horizonal=300\r\n"
                              "Consecutive=0\r\n"
                              "[Small]\r\n"
                              "Header=S\r\n"
                              "Folder=Small\r\n"
                              "PictureType=Jpeg\r\n"
                              "Quality=100\r\n"
                              "PictureSizeMode=1\r\n"
                              "Rate=30\r\n"
                              "Vertical=100\r\n"
                              "Horizonal=100\r\n"
                              "Consecutive=1\r\n");
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"Option.ini"}); // no temporary left
}

TEST_F(IniWrite, IntegersAndBooleansAreWrittenAsDecimalText) {
    TIniFile ini(path);
    ini.WriteInteger("N", "min", INT_MIN);
    ini.WriteInteger("N", "neg", -5);
    ini.WriteBool("N", "no", false);
    EXPECT_EQ(readFile(path), "[N]\r\nmin=-2147483648\r\nneg=-5\r\nno=0\r\n");
    EXPECT_EQ(ini.ReadInteger("N", "min", 0), INT_MIN);
}

TEST_F(IniWrite, ReplacingAValueKeepsEveryOtherByte) {
    const std::string before = "; settings\n"
                               "[ large ]\n"
                               "  QUALITY =  55  \n"
                               "\n"
                               "Rate=5\r"
                               "[Small]\r\n"
                               "Quality=9";
    dir.write("Option.ini", before);
    TIniFile ini(path);
    ini.WriteInteger("Large", "Quality", 80);
    EXPECT_EQ(readFile(path), "; settings\n"
                              "[ large ]\n"
                              "  QUALITY =80\n"
                              "\n"
                              "Rate=5\r"
                              "[Small]\r\n"
                              "Quality=9");
    ini.WriteString("small", "quality", "");
    EXPECT_EQ(readFile(path),
              "; settings\n[ large ]\n  QUALITY =80\n\nRate=5\r[Small]\r\nQuality=");
    EXPECT_EQ(ini.ReadString("Small", "Quality", "d"), "");
}

TEST_F(IniWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    dir.write("Option.ini", "\xEF\xBB\xBF[Large]\nHeader=L\n\n; note\n[Small]\nHeader=S\n");
    TIniFile ini(path);
    ini.WriteString("Large", "Folder", "big");
    ini.WriteString("Small", "Folder", "small");
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[Large]\nHeader=L\nFolder=big\r\n\n; note\n"
                              "[Small]\nHeader=S\nFolder=small\r\n");
}

TEST_F(IniWrite, DuplicatesAreWrittenWhereTheyAreRead) {
    dir.write("Option.ini", "[A]\nk=1\nk=2\n[A]\nk=3\nm=4\n");
    TIniFile ini(path);
    ini.WriteString("A", "k", "x");
    ini.WriteString("A", "m", "y");
    EXPECT_EQ(readFile(path), "[A]\nk=x\nk=2\nm=y\r\n[A]\nk=3\nm=4\n");
    EXPECT_EQ(ini.ReadString("A", "m", ""), "y");
}

TEST_F(IniWrite, MissingLineBreaksAreAddedBeforeNewLines) {
    TIniFile ini(path);
    dir.write("Option.ini", "[Large]");
    ini.WriteString("Large", "Header", "L");
    EXPECT_EQ(readFile(path), "[Large]\r\nHeader=L\r\n");

    dir.write("Option.ini", "[Large]\nHeader=L");
    ini.WriteString("Large", "Rate", "1");
    EXPECT_EQ(readFile(path), "[Large]\nHeader=L\r\nRate=1\r\n");

    dir.write("Option.ini", "junk");
    ini.WriteString("Small", "Rate", "2");
    EXPECT_EQ(readFile(path), "junk\r\n[Small]\r\nRate=2\r\n");

    dir.write("Option.ini", "x\r");
    ini.WriteString("Small", "Rate", "2");
    EXPECT_EQ(readFile(path), "x\r[Small]\r\nRate=2\r\n");

    // A file holding just a byte-order mark counts as empty.
    dir.write("Option.ini", "\xEF\xBB\xBF");
    ini.WriteString("Small", "Rate", "2");
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF[Small]\r\nRate=2\r\n");
}

TEST_F(IniWrite, ValuesAreWrittenUnchangedUpToALineBreak) {
    TIniFile ini(path);
    ini.WriteString("A", "k", " 'q' ");
    ini.WriteString("A", "forge", "v\r\n[A]\r\nk=forged");
    ini.WriteString("A", "eq", "a=b");
    EXPECT_EQ(readFile(path), "[A]\r\nk= 'q' \r\nforge=v\r\neq=a=b\r\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "q");
    EXPECT_EQ(ini.ReadString("A", "eq", ""), "a=b");
}

TEST_F(IniWrite, Cp932BytesSurviveTheRoundTrip) {
    // ソフト and 表示: trail bytes 0x5C ("\") and others outside ASCII letters.
    const std::string value = "\x83\x5C\x83\x74\x83\x67\x95\x5C\x8E\xA6";
    TIniFile ini(path);
    ini.WriteString("Large", "Header", value);
    ini.WriteString("Large", "Folder", value + "\\" + value);
    EXPECT_EQ(ini.ReadString("Large", "Header", ""), value);
    EXPECT_EQ(ini.ReadString("Large", "Folder", ""), value + "\\" + value);
    EXPECT_EQ(readFile(path),
              "[Large]\r\nHeader=" + value + "\r\nFolder=" + value + "\\" + value + "\r\n");
}

TEST_F(IniWrite, EveryCallSeesTheFileAsItIsOnDisk) {
    TIniFile ini(path);
    ini.WriteString("A", "k", "1");
    dir.write("Option.ini", "[A]\nk=changed\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "changed");
    ini.WriteString("A", "m", "2");
    EXPECT_EQ(readFile(path), "[A]\nk=changed\nm=2\r\n");
}

TEST_F(IniWrite, PermissionBitsAreKept) {
    dir.write("Option.ini", "[A]\nk=1\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    TIniFile(path).WriteString("A", "k", "2");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniWrite, WritesGoThroughASymbolicLinkToItsTarget) {
    dir.write("real/Option.ini", "[A]\nk=1\n");
    std::filesystem::create_directory(dir.file("app"));
    const std::string link = dir.file("app/Option.ini");
    std::filesystem::create_symlink("../real/Option.ini", link);
    TIniFile(link).WriteString("A", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(dir.file("real/Option.ini")), "[A]\nk=2\n");

    // A dangling link gets its target created.
    const std::string dangling = dir.file("app/Other.ini");
    std::filesystem::create_symlink(dir.file("real/Other.ini"), dangling);
    TIniFile(dangling).WriteInteger("B", "n", 3);
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(readFile(dir.file("real/Other.ini")), "[B]\r\nn=3\r\n");
}

TEST_F(IniWrite, WriteIntoAFolderPathIsRefused) {
    dir.write("Option.ini/inside", "keep");
    TIniFile ini(path);
    EXPECT_EQ(refusalOf([&] { ini.WriteString("A", "k", "1"); }), refusal(path));
    EXPECT_EQ(readFile(dir.file("Option.ini/inside")), "keep");
}

TEST_F(IniWrite, WriteBelowARegularFileIsRefused) {
    const std::string parent = dir.write("notafolder", "keep");
    const std::string below = parent + "/Option.ini";
    TIniFile ini(below);
    EXPECT_EQ(refusalOf([&] { ini.WriteBool("A", "k", true); }), refusal(below));
    EXPECT_EQ(refusalOf([&] { ini.WriteInteger("A", "k", 1); }), refusal(below));
    EXPECT_EQ(readFile(parent), "keep");
}

TEST_F(IniWrite, RefusalMessageNamesTheFileInTheSystemCodePage) {
    const std::string parent = dir.write("\xE8\xA8\xAD\xE5\xAE\x9A", "file"); // 設定
    TIniFile ini(parent + "/Option.ini");
    try {
        ini.WriteString("A", "k", "1");
        FAIL() << "the write was not refused";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.message(), toQ(parent) + QStringLiteral("/Option.ini に書き込めません"));
    }
}

TEST_F(IniWrite, FullDiskLeavesTheOldFileAndEarlierKeysIntact) {
    TIniFile ini(path);
    ini.WriteString("Large", "Header", "L");
    ini.WriteString("Large", "Folder", "large");
    const std::string before = readFile(path);
    {
        const FileSizeLimit limit(before.size() + 4);
        ASSERT_TRUE(limit.active());
        EXPECT_EQ(refusalOf([&] { ini.WriteString("Large", "PictureType", "Jpeg"); }),
                  refusal(path));
        // Replacing with a shorter value still fits.
        ini.WriteString("Large", "Folder", "f");
    }
    EXPECT_EQ(readFile(path), "[Large]\r\nHeader=L\r\nFolder=f\r\n");
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"Option.ini"});
}

} // namespace
} // namespace kelvora

// Files and folders by byte-string name, with the program's errors.
#include "base/errors.h"
#include "base/file_io.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kelvora;
using kelvora::test::fileExists;
using kelvora::test::TempDir;

namespace {
bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

TEST(FileIo, ForceDirectoriesCreatesEveryMissingParent) {
    TempDir dir;
    const std::string deep = dir.file("a/b/c/d");
    EXPECT_TRUE(forceDirectories(deep + "/"));
    EXPECT_TRUE(isFolder(dir.file("a")));
    EXPECT_TRUE(isFolder(dir.file("a/b/c")));
    EXPECT_TRUE(isFolder(deep));
    EXPECT_TRUE(forceDirectories(deep)); // already there
}

TEST(FileIo, ForceDirectoriesFailsBelowAFile) {
    TempDir dir;
    const std::string file = dir.write("plain", "x");
    EXPECT_FALSE(forceDirectories(file));
    EXPECT_FALSE(forceDirectories(file + "/sub/deeper"));
    EXPECT_FALSE(fileExists(file + "/sub"));
    EXPECT_FALSE(forceDirectories(""));
}

TEST(FileIo, ReadAndWriteWholeFiles) {
    TempDir dir;
    const std::string name = dir.file("\x95\x5C.bin"); // a CP932 name, passed through unchanged
    const std::string bytes("a\0\r\nb", 5);
    writeWholeFile(name, bytes);
    EXPECT_EQ(readWholeFile(name), bytes);

    const std::string missing = dir.file("none.txt");
    try {
        readWholeFile(missing);
        FAIL() << "read";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("ファイル %1 は開けません").arg(QString::fromStdString(missing)));
    }
    const std::string unwritable = dir.file("no/such/folder.txt");
    try {
        writeWholeFile(unwritable, "x");
        FAIL() << "written";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(
            e.message(),
            QStringLiteral("ファイル %1 を作成できません").arg(QString::fromStdString(unwritable)));
    }
}

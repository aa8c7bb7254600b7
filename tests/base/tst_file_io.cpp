// Files and folders by byte-string name, with the program's errors.
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/unique_fd.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watchdog.h"

#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;

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

// What stands under a file's name decides whether it is opened at all: a FIFO or a
// device (here a link to /dev/zero) never is, so nothing waits for a writer or reads
// without end, and an error names the file as it is shown, its odd bytes marked.
TEST(FileIo, OnlyRegularFilesAreOpened) {
    TempDir dir;
    const struct {
        const char* name; // in dir
        std::function<void(const std::string&)> make;
        bool regular;
        bool special; // a FIFO, a socket or a device
    } rows[] = {
        {"file.jpg", [](const std::string& p) { writeFileAt(p, "bytes"); }, true, false},
        {"link.jpg", [&](const std::string& p) { makeLinkAt(dir.file("file.jpg"), p); }, true,
         false},
        {"folder.jpg", [](const std::string& p) { makeDirAt(p); }, false, false},
        {"fifo.jpg", [](const std::string& p) { makeFifoAt(p); }, false, true},
        {"zero.jpg", [](const std::string& p) { makeLinkAt("/dev/zero", p); }, false, true},
        {"missing\xFF.jpg", [](const std::string&) {}, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.file(row.name);
        row.make(path);
        const kelvora::test::Watchdog guard(std::string("opening ") + row.name);
        const QString refused = QStringLiteral("ファイル %1 は開けません").arg(toDisplayQ(path));
        const auto failsWith = [&](const std::function<void()>& open) {
            try {
                open();
                return QStringLiteral("(opened)");
            } catch (const EFOpenError& e) {
                return e.message();
            }
        };
        if (row.regular) {
            std::ifstream in = openForReading(path);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "bytes");
            const UniqueFd fd(openDescriptorForReading(path));
            char buffer[8];
            EXPECT_EQ(::read(fd.get(), buffer, sizeof buffer), 5);
            EXPECT_EQ(readSmallFile(path, 5), std::optional<std::string>("bytes"));
            EXPECT_EQ(readSmallFile(path, 4), std::nullopt);
        } else {
            EXPECT_EQ(failsWith([&] { openForReading(path); }), refused);
            EXPECT_EQ(failsWith([&] { const UniqueFd fd(openDescriptorForReading(path)); }),
                      refused);
            EXPECT_EQ(readSmallFile(path), std::nullopt);
        }
        EXPECT_EQ(failsWith([&] { refuseSpecialFile(path); }),
                  row.special ? refused : QStringLiteral("(opened)"));
    }
}

// Option.ini shared with the system and with other copies of the program: file and
// folder permissions, and writers running at the same time.
#include "settings/inifile.h"

#include "base/errors.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace kelvora {
namespace {

using test::readFile;
using test::TempDir;

const std::string kOld = "[Large]\r\nHeader=Long old header value\r\nRate=50\r\n";

struct PermissionCase {
    const char* name;
    unsigned folderMode;
    unsigned fileMode;
    const char* value; // written to [Large] Header
    bool written;
};

// What an unprivileged user's write does, by the permissions of the file and its folder.
TEST(IniSharing, PermissionsOfFileAndFolderDecide) {
    const PermissionCase cases[] = {
        // Renaming a new file over a read-only one would ignore its mode.
        {"read-only file in a writable folder", 0777, 0444, "x", false},
        // No temporary file can be made: the file itself is rewritten, shorter...
        {"writable file in a read-only folder, shorter", 0555, 0666, "S", true},
        // ...or longer.
        {"writable file in a read-only folder, longer", 0555, 0666,
         "a header much longer than the one before it", true},
        {"read-only file in a read-only folder", 0555, 0444, "x", false},
    };
    for (const PermissionCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::handToNobody(dir.path(), 0755);
        const std::string folder = dir.file("app");
        const std::string path = dir.write("app/Option.ini", kOld);
        test::handToNobody(path, c.fileMode);
        test::handToNobody(folder, 0777);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);

        const auto r =
            test::runAsNobody({KELVORA_INI_WRITE_TOOL, path, "large", "Header", c.value});
        if (c.written) {
            EXPECT_EQ(r.exitCode, 0) << r.output;
            EXPECT_EQ(readFile(path),
                      std::string("[Large]\r\nHeader=") + c.value + "\r\nRate=50\r\n");
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.output;
            EXPECT_EQ(r.output, path + " に書き込めません");
            EXPECT_EQ(readFile(path), kOld);
        }
    }
}

TEST(IniSharing, FileWithoutWriteBitsIsRefusedEvenForRoot) {
    TempDir dir;
    const std::string path = dir.write("Option.ini", kOld);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_THROW(TIniFile(path).WriteString("Large", "Header", "x"), EIniFileException);
    EXPECT_EQ(readFile(path), kOld);
}

TEST(IniSharing, WritersAtTheSameTimeKeepEveryKey) {
    TempDir dir;
    const std::string path = dir.file("Option.ini");
    constexpr int kKeys = 60;
    auto writer = [&](const char* section) {
        TIniFile ini(path);
        for (int i = 0; i < kKeys; ++i)
            ini.WriteInteger(section, "Key" + std::to_string(i), i);
    };
    std::thread a(writer, "Large");
    std::thread b(writer, "Small");
    a.join();
    b.join();
    const TIniFile ini(path);
    int found = 0;
    for (const char* section : {"Large", "Small"})
        for (int i = 0; i < kKeys; ++i)
            found += ini.ReadInteger(section, "Key" + std::to_string(i), -1) == i;
    EXPECT_EQ(found, 2 * kKeys);
}

} // namespace
} // namespace kelvora

// Where the program keeps its own files: beside itself, or in the user's configuration
// folder when it is installed.
#include "base/program_folder.h"
#include "settings/inifile.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace kelvora {
namespace {

using test::ScopedEnv;
using test::TempDir;

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

TEST(SettingsFolder, BesideAProgramOfItsOwnElseInTheUsersConfiguration) {
    TempDir dir;
    const std::string own = dir.file("prog");
    ::mkdir(own.c_str(), 0755);
    ScopedEnv env;
    env.set("HOME", dir.file("home"));
    struct Case {
        const char* name;
        std::optional<std::string> configHome;
        std::string programFolder;
        std::string expected;
    } cases[] = {
        {"writable own folder", dir.file("cfg"), own, own},
        {"package manager's folder, even for root", dir.file("cfg"), "/usr/bin",
         dir.file("cfg/kelvora")},
        {"an add-on package's folder", dir.file("cfg"), "/opt/kelvora/bin",
         dir.file("cfg/kelvora")},
        {"XDG_CONFIG_HOME unset", std::nullopt, "/usr/bin", dir.file("home/.config/kelvora")},
        {"XDG_CONFIG_HOME relative", std::string("rel/cfg"), "/usr/bin",
         dir.file("home/.config/kelvora")},
    };
    for (const Case& c : cases) {
        ScopedEnv config;
        config.set("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(SettingsFolder(c.programFolder), c.expected) << c.name;
        struct stat st;
        EXPECT_EQ(::stat(c.expected.c_str(), &st), 0) << c.name << ": the folder exists";
    }
}

// The user guide of an installed program is in <prefix>/share/kelvora/help; a program
// run from its build tree finds it beside itself.
TEST(HelpFile, InstalledUnderTheSharedDataElseBesideTheProgram) {
    TempDir dir;
    dir.write("build/help/index.html", "<html>");
    EXPECT_EQ(HelpFilePath(dir.file("build")), dir.file("build/help/index.html"));
    dir.write("prefix/bin/kelvora", "");
    EXPECT_EQ(HelpFilePath(dir.file("prefix/bin")), dir.file("prefix/bin/help/index.html"));
    dir.write("prefix/share/kelvora/help/index.html", "<html>");
    EXPECT_EQ(HelpFilePath(dir.file("prefix/bin")),
              dir.file("prefix/share/kelvora/help/index.html"));
}

TEST(SettingsFolder, ReadOnlyProgramFolderForAnOrdinaryUser) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string readOnly = dir.file("ro"), writable = dir.file("rw");
    ::mkdir(readOnly.c_str(), 0755);
    for (const std::string& open : {writable, dir.file("home")}) {
        ::mkdir(open.c_str(), 0);
        ::chmod(open.c_str(), 0777);
    }
    const std::string asNobody =
        "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + dir.file("home") +
        " XDG_CONFIG_HOME= " + KELVORA_PROBE + " ";
    EXPECT_EQ(run(asNobody + readOnly), dir.file("home/.config/kelvora") + "\n");
    EXPECT_EQ(run(asNobody + writable), writable + "\n");
    struct stat st;
    ASSERT_EQ(::stat(dir.file("home/.config/kelvora").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(SettingsFolder, NamesTheFilesOfTheRunningProgram) {
    const std::string folder = QCoreApplication::applicationDirPath().toStdString();
    EXPECT_EQ(ProgramFolder(), folder);
    EXPECT_EQ(ColumnMemoryFilePath(), folder + "/tst_program_folder.dat");
    EXPECT_EQ(OptionFilePath(), folder + "/Option.ini");
}

} // namespace
} // namespace kelvora

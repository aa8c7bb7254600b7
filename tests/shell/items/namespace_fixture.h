#pragma once
// A user's world in a temporary folder: HOME, the XDG folders, a desktop
// folder, a trash, a mount table and a sysfs tree of our own. The environment
// and the drive sources are restored afterwards.
#include "shell/items/id_list.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace kelvora::test {

class NamespaceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Paths of the fake user.
    std::string home() const { return root_.file("home/user"); }
    std::string desktop() const { return home() + "/デスクトップ"; }
    std::string trash() const { return home() + "/.local/share/Trash"; }
    // Fake drives: mount points below home, so that a desktop shows them.
    std::string usbMount() const { return home() + "/media/USB STICK"; }
    std::string cdMount() const { return home() + "/media/cdrom"; }
    std::string dataMount() const { return home() + "/media/data"; }

    // Files and folders (parents made as needed); all return the full path.
    std::string makeDir(const std::string& path) const { return makeDirAt(path); }
    std::string makeFile(const std::string& path, std::string_view bytes = "") const {
        return writeFileAt(path, bytes);
    }
    std::string makeLink(const std::string& target, const std::string& path) const {
        return makeLinkAt(target, path);
    }
    // Puts a file into the home trash as if it had been deleted from original.
    void trashFile(const std::string& name, const std::string& originalPath,
                   std::string_view deletionDate = "2020-05-06T07:08:09") const;

    void writeMountInfo(const std::string& text) const;

    // An ID the test owns.
    static TIDListPtr own(PItemIDList id) { return TIDListPtr(id); }
    static TIDListPtr parse(const std::string& path);

    TempDir root_;

private:
    ScopedEnv env_;
    long liveIDs_ = 0;
};

} // namespace kelvora::test

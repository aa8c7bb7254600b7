#pragma once
// A user's world for the folder tree and file list tests, in a temporary
// folder: HOME with its XDG folders and a desktop folder, and a mount table in
// which the temporary folder is a fixed drive of its own. The real root file
// system sits on a device the fake sysfs calls removable, so the tree watches
// only the temporary drive (with its subfolders), never the real disk. The
// environment and the drive sources are restored afterwards.
#include "shell/items/id_list.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <initializer_list>
#include <string>

namespace kelvora::test {

class BrowserWorld {
public:
    BrowserWorld();
    ~BrowserWorld();
    BrowserWorld(const BrowserWorld&) = delete;
    BrowserWorld& operator=(const BrowserWorld&) = delete;

    // The temporary drive's mount point.
    const std::string& drive() const { return dir_.path(); }
    std::string home() const { return dir_.file("home/user"); }
    std::string desktop() const { return home() + "/デスクトップ"; }
    std::string memoryFile() const { return dir_.file("kelvora.dat"); }

    // Files and folders (parents made as needed); all return the full path.
    std::string makeDir(const std::string& path) const { return makeDirAt(path); }
    std::string makeFile(const std::string& path, std::string_view bytes = "") const {
        return writeFileAt(path, bytes);
    }
    std::string makeLink(const std::string& target, const std::string& path) const {
        return makeLinkAt(target, path);
    }
    // Adds an optical drive, without its disc its mount point does not exist;
    // returns the mount point.
    std::string addOpticalDrive(const std::string& name, bool withDisc) const;
    // Gives the optical drive's disc a volume label.
    void labelOpticalDrive(const std::string& label) const;
    // Takes the drive mounted at mountPoint out of the mount table.
    void removeDrive(const std::string& mountPoint) const;
    // Lists a mount of the given file system type at mountPoint as a drive.
    void addDrive(const std::string& mountPoint, const std::string& fsType) const;
    static void removeAll(const std::string& path);

    // The ID of a folder below the home folder, through the desktop's ホーム item.
    static TIDListPtr homeID(std::initializer_list<std::string> names = {});
    // The ID a path parses to (through the computer and its drives).
    static TIDListPtr parse(const std::string& path);
    // ID lists alive now, to check that nothing leaked.
    static long liveIDs();

private:
    TempDir dir_;
    ScopedEnv env_;
};

} // namespace kelvora::test

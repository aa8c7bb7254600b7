#pragma once
// What "追加" and a drop onto the collected list add: picture files as they are, and
// for a folder the picture files directly inside it, in the byte order of their names,
// without the entries the browser hides (dot names and the names in the folder's
// ".hidden"). A picture file is a regular file (or a link to one) whose extension the
// picture loader reads, built in or through a plug-in; subfolders, FIFOs, devices and
// other files are left out. Paths listed already, or met twice, are added once.
//
// A folder is read on the calling thread (the GUI thread) when "追加" is pressed or
// files are dropped: its names and the types readdir reports, with a stat only for
// links and entries of unknown type: a folder of 100 000 names takes 0.1 to 0.5 s. A
// selection change reads at most kScanLimit names. Nothing is held between calls.
#include <string>
#include <vector>

namespace kelvora {

class TCollectedList;

class TPictureCollector {
public:
    // Whether the name's extension is one the picture loader reads.
    static bool IsPictureName(const std::string& name);
    // Whether path is a folder (links followed).
    static bool IsFolder(const std::string& path);
    // The picture files directly in folder that the browser shows, by the byte order of
    // their names; none when the folder cannot be read.
    static std::vector<std::string> PicturesIn(const std::string& folder);
    // Whether the selection is taken picture by picture: several rows, or one folder.
    // Otherwise "追加" adds the focused row's path, whatever it is.
    static bool ExpandsSelection(const std::vector<std::string>& selected);
    // The paths a selection (or a drop) adds, in order: its picture files, and the
    // pictures of its folders in their place; without what list holds already.
    static std::vector<std::string> PathsToAdd(const std::vector<std::string>& selected,
                                               const TCollectedList& list);
    // Whether PathsToAdd would give anything. Stops at the first picture not listed and
    // reads at most kScanLimit names of folders; past that, and for a folder on a network,
    // FUSE or removable drive (which it does not read), it answers yes.
    static bool WouldAdd(const std::vector<std::string>& selected, const TCollectedList& list);
    static constexpr int kScanLimit = 4096;
};

} // namespace kelvora

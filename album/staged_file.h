#pragma once
// One file of a run, written under a temporary name in the folder of its final
// name and put in place by commit(): until then an existing file of that name is
// untouched, and a staged file dropped without commit() is removed. The temporary
// names are hidden (".<name>.kelvora-<pid>-<n>.tmp") and unique per process.
//
// Every temporary file of the process is also listed in one registry, so that a
// signal-handling thread can remove them all with DiscardAllStagedFiles() while
// other threads are writing.
#include "base/unique_fd.h"

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace kelvora {

class TStagedFile {
public:
    // Creates the temporary file; the folder must exist. Raises EFCreateError
    // "ファイル %s を作成できません" naming the final file, and EAbort once
    // DiscardAllStagedFiles() has run.
    explicit TStagedFile(std::string finalName);
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    const std::string& finalName() const { return finalName_; }
    // Another name in the same folder to put the file in place under (a picture
    // that moves up when one before it is left out).
    void setFinalName(std::string finalName) { finalName_ = std::move(finalName); }

    // A failed write (a full disk, an I/O error) raises EFCreateError naming the
    // final file and the system's reason.
    void write(std::string_view bytes);
    // Closes the file; errors as write().
    void close();
    // Puts the file's data on the disk and closes it; errors as write().
    void flushToDisk();
    // Renames the closed file over its final name.
    void commit();
    // Makes the (still empty) temporary file another name of `existing`: a hard
    // link, or a copy where the file system has none. Closes the file; errors as
    // write(). Done before anything is renamed into place, `existing` is still
    // the file a run found there.
    void linkFrom(const std::string& existing);

private:
    [[noreturn]] void fail(int error) const;

    std::string finalName_;
    std::string tempName_;
    UniqueFd fd_;
    bool committed_ = false;
};

// Why a file or folder could not be made, as the user reads it: a refused
// permission says so in words of its own, anything else is the system's text.
QString CreateFailureReason(int error);

// Removes every temporary file that is not committed yet, and makes every later
// TStagedFile fail with EAbort. For the moment a process is told to stop.
void DiscardAllStagedFiles();

// Removes the temporary files that a process which no longer runs left in the
// folder (it was killed before it could remove them).
void RemoveStaleStagedFiles(const std::string& folder);

} // namespace kelvora

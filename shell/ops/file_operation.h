#pragma once
// Copying, moving, linking and trashing files and folders dropped on a folder.
//
// TShFileCopier is the work itself, a plain class run on one thread. Nothing is
// ever replaced without asking: a name that is taken goes to the conflict
// callback (overwrite, skip, rename with a number, cancel, optionally for all
// later conflicts). A file is copied into a hidden temporary name in the target
// folder, flushed to disk, given the source's permissions and times, and only
// then renamed into place, so a cancelled or failed copy leaves no partial
// file; a new folder is built the same way under a temporary name, and its
// file system is flushed once (syncfs) before it takes its name. A move within
// one file system is a rename; across file systems it is a copy, and the source
// is deleted only after its copy is complete and flushed. Symbolic links are
// copied as links.
//
// TShFileOperation runs a copier on its own QThread and reports by queued
// signals; it lives on the GUI thread. Cancel() sets an atomic flag that the
// worker checks between blocks of data. A conflict question is put to the GUI
// thread and the worker waits for the answer; cancelling or deleting the
// operation releases that wait, so the GUI thread never waits for a worker that
// waits for it. Deleting the operation cancels it and joins the thread.
#include "shell/shell_texts.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

class QThread;

namespace kelvora {

enum class TShFileOp { Copy, Move, Link, Trash };

struct TShFileJob {
    TShFileOp op = TShFileOp::Copy;
    std::vector<std::string> sources; // absolute paths
    std::string targetFolder;         // unused for Trash
};

// An item that would take a name already in use.
struct TShConflict {
    std::string source;
    std::string target; // the existing item
    bool sourceIsFolder = false;
    bool targetIsFolder = false;
    std::uint64_t sourceSize = 0, targetSize = 0;
    std::int64_t sourceTime = 0, targetTime = 0; // ns since the epoch
};

struct TShConflictAnswer {
    enum Choice { Overwrite, Skip, RenameWithNumber, Cancel };
    Choice choice = Cancel;
    bool applyToAll = false; // the same answer for the conflicts that follow
};

struct TShOperationResult {
    TShFileOp op = TShFileOp::Copy;
    int done = 0;    // top-level items carried out
    int skipped = 0; // items left alone by the user's answer
    bool cancelled = false;
    QStringList errors;               // one line per failure, as the user reads it
    std::vector<std::string> created; // the top-level items made in the target folder
};

// The folder that holds path ("/a/b" -> "/a", "/a" -> "/"); path without a trailing "/".
std::string ShParentPath(const std::string& path);
// Whether path is ancestor itself or lies below it.
bool ShIsPathInside(const std::string& path, const std::string& ancestor);
// "name (2).ext": the first numbered name free in folder.
std::string ShNumberedName(const std::string& folder, const std::string& name);
// A system error as a Japanese user reads it.
QString ShErrorText(int error);

class TShFileCopier {
public:
    using Ask = std::function<TShConflictAnswer(const TShConflict&)>;
    // Units done so far, units in all, the item at work. A unit is a byte of file
    // data, plus one per item, so that renames and empty files move the bar too.
    using Progress = std::function<void(std::int64_t done, std::int64_t total, const QString&)>;

    TShFileCopier(TShFileJob job, Ask ask, Progress progress, const std::atomic<bool>& cancel);
    TShOperationResult Run();

    // Called on the worker after every block of data, for tests that need to act
    // at a known point of a copy.
    void setBlockObserver(std::function<void()> observer) { blockObserver_ = std::move(observer); }
    void setBlockSize(std::size_t bytes) { blockSize_ = bytes; }

private:
    enum class Outcome { Done, Skipped, Failed, Cancelled };
    struct Place {
        std::string path;
        bool overwrite = false; // replace a file, or merge into a folder
    };

    std::int64_t unitsOf(const std::string& path, bool needsCopy) const;
    bool cancelled() const;
    Outcome place(const std::string& source, const struct stat& st, const std::string& folder,
                  const std::string& name, Place& out);
    Outcome copyItem(const std::string& source, const std::string& folder, const std::string& name,
                     std::string* made);
    Outcome copyTo(const std::string& source, const struct stat& st, const std::string& dest,
                   bool overwrite, bool fresh);
    Outcome copyFile(const std::string& source, const struct stat& st, const std::string& dest,
                     bool overwrite, bool fresh);
    Outcome copyLink(const std::string& source, const struct stat& st, const std::string& dest,
                     bool overwrite, bool fresh);
    Outcome copyFolder(const std::string& source, const struct stat& st, const std::string& dest,
                       bool merge, bool fresh);
    Outcome copyChildren(const std::string& source, const std::string& dest, bool fresh);
    Outcome moveItem(const std::string& source, const std::string& folder, const std::string& name,
                     std::string* made);
    Outcome linkItem(const std::string& source, const std::string& folder, const std::string& name,
                     std::string* made);
    Outcome trashItem(const std::string& source);
    bool publish(const std::string& temp, const std::string& dest, bool overwrite);
    void fail(const char* text, const std::string& path, int error);
    void advance(std::int64_t units, const std::string& path);

    TShFileJob job_;
    Ask ask_;
    Progress progress_;
    const std::atomic<bool>& cancel_;
    std::function<void()> blockObserver_;
    std::size_t blockSize_ = 1 << 20;
    std::int64_t done_ = 0, total_ = 0;
    int problems_ = 0; // failures and skipped items so far
    bool userCancelled_ = false;
    bool haveAnswerForAll_ = false;
    TShConflictAnswer answerForAll_;
    TShOperationResult result_;
};

class TShFileOperation : public QObject {
    Q_OBJECT
public:
    // The conflict question, asked on the GUI thread.
    using Ask = std::function<TShConflictAnswer(const TShConflict&)>;

    TShFileOperation(TShFileJob job, Ask ask, QObject* parent = nullptr);
    ~TShFileOperation() override;

    const TShFileJob& Job() const { return job_; }
    void Start();
    void Cancel();
    bool IsRunning() const;
    // Valid once finished has been emitted.
    const TShOperationResult& Result() const { return result_; }
    // For tests: see TShFileCopier::setBlockObserver (called on the worker).
    void setBlockObserver(std::function<void()> observer) { blockObserver_ = std::move(observer); }
    void setBlockSize(std::size_t bytes) { blockSize_ = bytes; }

signals:
    void progress(qint64 done, qint64 total, const QString& item);
    void finished(const kelvora::TShOperationResult& result);

private:
    struct Question;
    TShConflictAnswer askFromWorker(const TShConflict& conflict);

    TShFileJob job_;
    Ask ask_;
    std::atomic<bool> cancel_{false};
    std::mutex questionMutex_;
    std::shared_ptr<Question> question_; // guarded by questionMutex_
    QThread* thread_ = nullptr;
    bool running_ = false;
    TShOperationResult result_;
    std::function<void()> blockObserver_;
    std::size_t blockSize_ = 1 << 20;
};

} // namespace kelvora

Q_DECLARE_METATYPE(kelvora::TShOperationResult)

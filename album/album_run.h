#pragma once
// One run of the album: every picture converted into a large and a small
// picture, then the page. The generation window and the batch command both
// drive TAlbumRun; they differ only in their hooks.
//
// Nothing the user has is touched until the whole album is ready: every picture
// and the page are written under temporary names beside their final places and
// renamed into place together at the end (pictures first, the page last). A run
// that fails or is stopped removes its temporary files (and the folders it made
// that stayed empty), so the album that was there stays as it was.
//
// Pictures are converted on worker threads, one per core by default; with more
// than one, the largest pending picture (by its pixels) first, so that no large picture is left to
// keep one core busy at the end while the others have nothing to do. A worker starts a picture only
// when its working memory (estimated from the file's header, or from what its plug-in tells, asked
// on every worker at once) fits in the budget beside the pictures in flight, or when nothing else
// is in flight; the budget is a quarter more than the largest picture needs, so running in parallel
// costs little memory beyond converting one picture at a time. The names, the page and the error
// reported (the first failing picture in list order) are those of converting one picture after
// another.
#include "album/album_pages.h"
//
// Re-runs convert only what changed (rerun_plan.h): an output the last run of the
// album made, from the same source with the same settings and decoder, and still
// on disk as that run left it, stays; outputs that run made and this one does not
// write go to the trash once the album is in place. A run holds a lock on every
// folder it writes from before its first write to its end (album_lock.h).
#include "album/page_writer.h"
#include "album/picture_settings.h"
#include "base/errors.h"
#include "base/stringlist.h"

#include <QImage>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

struct TAlbumJob {
    std::string htmlFileName; // full path of the page
    TStringList sourceFiles;  // full paths of the pictures, in page order
    TPictureSettings large;   // OutputFolder already derived
    TPictureSettings small;
    // Pictures per page: 0 puts every picture on one page.
    int perPage = 0;
    // A picture that cannot be loaded is left out, and the album made of the others;
    // otherwise the first such picture stops the run.
    bool skipUnreadable = false;
    // Which further pages ("album_2.html", ...) an earlier run of this album wrote:
    // only those may be replaced, and those no longer needed are removed. Unset: none.
    TEarlierPageCheck writtenByEarlierRun;
    bool rebuild = false; // convert every picture, whatever the last run left
};

struct TAlbumRunHooks {
    // The progress range is 0..maximum (two outputs per picture); called at the
    // start, whenever an output is finished, and with 0 once every picture is done.
    std::function<void(int position, int maximum)> progress;
    // A picture's conversion began: from now on its memory counts against the
    // budget, until pictureConverted (or the picture's failure).
    std::function<void(int index)> pictureStarted;
    // A picture was converted: its position in the list and a small upright copy.
    std::function<void(int index, const QImage& preview)> pictureConverted;
    // Read when the page is written, so that changes made during the run count.
    std::function<TAlbumPageOptions()> pageOptions;
    TCommentLookup comments;
};

// A picture that could not be converted: the message is the picture's own error
// (what the window shows); the source names the picture.
class EAlbumPicture : public Exception {
public:
    EAlbumPicture(const Exception& cause, std::string sourceFile)
        : Exception(cause.message(), cause.detail()), sourceFile_(std::move(sourceFile)) {}
    const std::string& sourceFile() const { return sourceFile_; }

private:
    std::string sourceFile_;
};

// What a finished run has to tell besides the album itself.
struct TAlbumRunResult {
    // The pictures left out because they could not be loaded, in list order.
    std::vector<EAlbumPicture> skipped;
    std::vector<std::string> notTrashed; // outputs of the last run that had to stay
    int outputsConverted = 0;
    int outputsKept = 0; // left in place, or staged from the last run's files
};

// Option.ini's two sections, with the output folders derived from the page's name.
void ReadAlbumSettings(const std::string& optionFile, const std::string& htmlFileName,
                       TPictureSettings& large, TPictureSettings& small);

// A job with the settings as ReadAlbumSettings gives them, and the page's options
// from the section Page.
TAlbumJob MakeAlbumJob(const std::string& htmlFileName, const TStringList& sourceFiles,
                       const std::string& optionFile);

// Worker threads for a run: one per core this process may use.
int DefaultJobCount();

class TAlbumRun {
public:
    explicit TAlbumRun(TAlbumJob job, int jobs = DefaultJobCount());
    // Removes whatever was staged and not put in place.
    ~TAlbumRun();
    TAlbumRun(const TAlbumRun&) = delete;
    TAlbumRun& operator=(const TAlbumRun&) = delete;

    const TAlbumJob& job() const;
    const TStringList& largeNames() const;
    const TStringList& smallNames() const;

    // Checks the settings and the names (the further pages' too), then converts every
    // picture into staged files. The hooks are called on the calling thread. Raises
    // the plan's errors, EFCreateError for an output folder that cannot be made,
    // EAlbumPicture for the first picture that failed (with skipUnreadable: the first
    // that failed to be written), and EAbort when `stop` is set.
    void convertPictures(const TAlbumRunHooks& hooks, const std::atomic<bool>* stop = nullptr);
    // After convertPictures: writes the pages, puts every file in its place, moves
    // what the last run left and this one did not write to the trash (pages the
    // album no longer has among them), and records the run. The pictures left out
    // do not count in the names and numbers.
    TAlbumRunResult finish(const TAlbumPageOptions& options, const TCommentLookup& comments);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// convertPictures, then finish with the hooks' page options and comments.
TAlbumRunResult RunAlbum(const TAlbumJob& job, const TAlbumRunHooks& hooks,
                         int jobs = DefaultJobCount(), const std::atomic<bool>* stop = nullptr);

} // namespace kelvora

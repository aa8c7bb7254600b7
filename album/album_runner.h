#pragma once
// A run of the album in the background, for a window: the pictures are converted
// on a thread of the runner's own (and the workers it starts), progress arrives as
// queued signals, and the window's thread writes the page once every picture is
// ready, so that the page options and comments are read where they live.
//
// Destroying the runner (the program closing mid-run) stops the run, waits for its
// threads and removes every file it staged: the album on disk stays as it was.
#include "album/album_run.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

namespace kelvora {

class TAlbumRunner : public QObject {
    Q_OBJECT
public:
    explicit TAlbumRunner(QObject* parent = nullptr);
    ~TAlbumRunner() override;

    bool running() const { return run_ != nullptr; }
    // The job of the run in progress (or of the last one).
    const TAlbumJob& job() const { return job_; }

    // Starts converting; ignored while a run is in progress.
    void start(TAlbumJob job, int jobs = DefaultJobCount());
    // Stops the run in progress; failed(EAbort's message) follows.
    void cancel();
    // After converted(): writes the page and puts every file in place. Raises the
    // page's errors; either way the run is over afterwards.
    TAlbumRunResult finish(const TAlbumPageOptions& options, const TCommentLookup& comments);

signals:
    void progress(int position, int maximum);
    // A picture's conversion began (pictures run side by side, in list order).
    void pictureStarted(int index);
    void pictureConverted(int index, const QImage& preview);
    // Every picture is staged; call finish().
    void converted();
    // The run ended without an album; nothing on disk was changed.
    void failed(const QString& message);

private:
    void ended(bool ok, const QString& message);
    void join();

    TAlbumJob job_;
    std::unique_ptr<TAlbumRun> run_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

} // namespace kelvora

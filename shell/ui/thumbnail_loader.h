#pragma once
// TShThumbnailLoader: makes the file list's thumbnails on worker threads.
//
// Design
// - The list hands over the paths it wants, most wanted first (the rows in
//   view, then the rest of the folder); each Request replaces what is still
//   queued, so scrolling reorders the work at once. Jobs already running go on.
// - A job looks at the file (stat, on the worker), answers from the memory
//   cache when it holds the thumbnail for the file's modification time, else
//   asks the producer for a thumbnail of ask pixels (128 or 256) and scales it
//   into a box x box square on the worker, in a pixel format the screen takes
//   without a conversion. Pictures that give no thumbnail are remembered as
//   such (a null image) for that modification time.
// - Restart (another folder): queued jobs are dropped, running ones see their
//   cancelled flag set, and no result of an earlier job is delivered after it.
// - Results reach the GUI thread in batches: a worker appends to a list and
//   posts one queued call while the list is not yet being taken, so many
//   thumbnails finishing close together cost one event.
//
// Limits: a producer that never returns holds its worker (the others go on);
// the destructor cancels and joins every worker.
//
// Threads: the public functions and the delivery run on the GUI thread; the
// producer runs on the workers (2, or the machine's cores when it has more),
// which run 10 nice steps below the window so that it goes first when it has work.
#include "shell/ui/thumbnail_memory.h"

#include <QImage>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kelvora {

// The upright thumbnail of path fitting size x size; nothing when the file is
// no picture, cannot be read, or *cancelled became true. Called on workers,
// several at once.
using TThumbnailProducer = std::function<std::optional<QImage>(const std::string& path, int size,
                                                               const std::atomic<bool>* cancelled)>;

class TShThumbnailLoader : public QObject {
    Q_OBJECT
public:
    struct TResult {
        enum Kind {
            Made,   // image is the thumbnail
            Failed, // no thumbnail: not a picture, or unreadable
            Stale,  // the file changed since its held thumbnail was made; one follows
        };
        Kind kind = Failed;
        std::string path;
        QImage image;
    };
    using TDeliver = std::function<void(std::vector<TResult>& results)>;

    // threads 0: 2, or the machine's cores.
    TShThumbnailLoader(TShThumbnailMemory& memory, TDeliver deliver, int threads = 0,
                       QObject* parent = nullptr);
    ~TShThumbnailLoader() override;

    void SetProducer(TThumbnailProducer producer);
    // The size asked of the producer and the square the thumbnails are fitted into.
    void SetSizes(int ask, int box);
    int Box() const { return box_; }
    // Forgets queued jobs, cancels running ones and every result still to come.
    void Restart();
    // Replaces the queue with paths, in this order; paths being made now are left out.
    void Request(const std::vector<std::string>& paths);
    int Threads() const { return static_cast<int>(workers_.size()); }
    // Jobs queued or running.
    int Pending() const;

private:
    struct Job {
        std::string path;
        std::uint64_t generation = 0;
        std::shared_ptr<std::atomic<bool>> cancelled;
        int ask = 0, box = 0;
    };
    void work();
    void run(const Job& job, const TThumbnailProducer& producer);
    void post(const Job& job, TResult::Kind kind, QImage image = {});
    void drain();

    TShThumbnailMemory& memory_;
    TDeliver deliver_;
    std::vector<std::thread> workers_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::multiset<std::pair<std::uint64_t, std::string>> running_; // generation, path
    TThumbnailProducer producer_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    std::atomic<std::uint64_t> generation_{1};
    int ask_ = 128, box_ = 96;
    bool stopping_ = false;
    // Results not yet taken by the GUI thread, and whether a call to take them is posted.
    std::mutex resultsLock_;
    std::vector<std::pair<std::uint64_t, TResult>> results_;
    bool drainPosted_ = false;
};

// A producer over Qt's image readers: the picture decoded at a reduced size
// where the format allows it, turned upright. What the tests and the demo use.
TThumbnailProducer ShImageReaderThumbnails();

} // namespace kelvora

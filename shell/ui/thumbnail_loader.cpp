#include "shell/ui/thumbnail_loader.h"

#include <QFile>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

// Scaled into box x box keeping its proportions, in the format a pixmap keeps
// as it is (so the GUI thread shares the pixels instead of converting them).
QImage fitted(QImage image, int box) {
    if (image.width() > box || image.height() > box)
        image = image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != format)
        image.convertTo(format);
    return image;
}

// Thumbnails are background work: on a machine with few cores a worker that
// shares the scheduler's weight with the GUI thread holds the window back when
// it wakes to scroll or paint. A nicer worker loses nothing while the GUI
// thread sleeps. (Linux gives each thread its own nice value.)
void yieldToTheWindow() {
    constexpr int kNicer = 10, kNicest = 19;
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int inherited = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, thread, std::min(kNicest, inherited + kNicer));
}

std::int64_t modifiedNs(const struct stat& st) {
    return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

TShThumbnailLoader::TShThumbnailLoader(TShThumbnailMemory& memory, TDeliver deliver, int threads,
                                       QObject* parent)
    : QObject(parent), memory_(memory), deliver_(std::move(deliver)) {
    if (threads <= 0)
        threads = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
}

TShThumbnailLoader::~TShThumbnailLoader() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        queue_.clear();
        cancelled_->store(true);
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void TShThumbnailLoader::SetProducer(TThumbnailProducer producer) {
    const std::lock_guard<std::mutex> hold(lock_);
    producer_ = std::move(producer);
}

void TShThumbnailLoader::SetSizes(int ask, int box) {
    ask_ = ask;
    box_ = box;
}

void TShThumbnailLoader::Restart() {
    const std::lock_guard<std::mutex> hold(lock_);
    queue_.clear();
    cancelled_->store(true);
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    ++generation_;
}

void TShThumbnailLoader::Request(const std::vector<std::string>& paths) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        queue_.clear();
        const std::uint64_t generation = generation_;
        for (const std::string& path : paths) {
            // Jobs of an earlier generation are cancelled: theirs is no answer.
            if (!running_.contains({generation, path}))
                queue_.push_back(Job{path, generation, cancelled_, ask_, box_});
        }
    }
    wake_.notify_all();
}

int TShThumbnailLoader::Pending() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(queue_.size() + running_.size());
}

void TShThumbnailLoader::work() {
    yieldToTheWindow();
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        const Job job = std::move(queue_.front());
        queue_.pop_front();
        const auto running = running_.insert({job.generation, job.path});
        const TThumbnailProducer producer = producer_;
        hold.unlock();
        run(job, producer);
        hold.lock();
        running_.erase(running);
    }
}

void TShThumbnailLoader::run(const Job& job, const TThumbnailProducer& producer) {
    if (job.cancelled->load())
        return;
    struct stat st;
    if (::stat(job.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        post(job, TResult::Failed);
        return;
    }
    const std::int64_t mtime = modifiedNs(st);
    if (std::optional<QImage> held = memory_.Find(job.path, job.box, mtime)) {
        post(job, held->isNull() ? TResult::Failed : TResult::Made, std::move(*held));
        return;
    }
    if (memory_.HeldTime(job.path, job.box))
        post(job, TResult::Stale); // what the list shows is out of date: gone until made again
    std::optional<QImage> made;
    if (producer)
        made = producer(job.path, job.ask, job.cancelled.get());
    if (job.cancelled->load())
        return; // nothing learnt about the file: not remembered as failed either
    if (!made || made->isNull()) {
        memory_.Insert(job.path, job.box, mtime, QImage());
        post(job, TResult::Failed);
        return;
    }
    QImage thumbnail = fitted(std::move(*made), job.box);
    memory_.Insert(job.path, job.box, mtime, thumbnail);
    post(job, TResult::Made, std::move(thumbnail));
}

void TShThumbnailLoader::post(const Job& job, TResult::Kind kind, QImage image) {
    bool first = false;
    {
        const std::lock_guard<std::mutex> hold(resultsLock_);
        results_.emplace_back(job.generation, TResult{kind, job.path, std::move(image)});
        first = !drainPosted_;
        drainPosted_ = true;
    }
    if (first)
        QMetaObject::invokeMethod(this, &TShThumbnailLoader::drain, Qt::QueuedConnection);
}

void TShThumbnailLoader::drain() {
    std::vector<std::pair<std::uint64_t, TResult>> taken;
    {
        const std::lock_guard<std::mutex> hold(resultsLock_);
        taken.swap(results_);
        drainPosted_ = false;
    }
    const std::uint64_t current = generation_;
    std::vector<TResult> results;
    results.reserve(taken.size());
    for (auto& [generation, result] : taken) {
        if (generation == current) // a result for a folder no longer shown never shows
            results.push_back(std::move(result));
    }
    if (!results.empty() && deliver_)
        deliver_(results);
}

TThumbnailProducer ShImageReaderThumbnails() {
    return [](const std::string& path, int size,
              const std::atomic<bool>* cancelled) -> std::optional<QImage> {
        // Opened by its bytes: a name the code page cannot show opens all the same.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return std::nullopt;
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return std::nullopt;
        }
        QImageReader reader(&file);
        reader.setAutoTransform(true);
        // Below Qt's "high quality" mark a JPEG is decoded at a reduced DCT scale.
        reader.setQuality(40);
        QSize full = reader.size();
        if (!full.isValid() || (cancelled && cancelled->load()))
            return std::nullopt;
        // The reader scales the stored picture; upright, the sides may swap.
        if (full.width() > size || full.height() > size)
            reader.setScaledSize(full.scaled(size, size, Qt::KeepAspectRatio));
        QImage image = reader.read();
        if (image.isNull())
            return std::nullopt;
        return image;
    };
}

} // namespace kelvora

#include "app/preview.h"

#include "base/file_io.h"
#include "jpeg/jpeg_image.h"
#include "ui/image.h"

#include <QEvent>
#include <QMetaObject>
#include <sys/stat.h>

namespace kelvora {
namespace {

// Two, so that a picture the user has already left does not hold up the next one
// unless a second one is also still decoding.
constexpr int kWorkers = 2;

// The smallest reduced scale whose picture still covers `shown`, else the full size.
void chooseScale(TJPEGImage& jpeg, const QSize& shown) {
    for (const TJPEGScale scale :
         {TJPEGScale::jsEighth, TJPEGScale::jsQuarter, TJPEGScale::jsHalf}) {
        jpeg.setScale(scale);
        if (jpeg.width() >= shown.width() && jpeg.height() >= shown.height())
            return;
    }
    jpeg.setScale(TJPEGScale::jsFullSize);
}

QSize devicePixels(const TImage& image) {
    return image.size() * image.devicePixelRatioF();
}

} // namespace

std::unique_ptr<TGraphic> DecodePreview(const std::string& path, const QSize& shown) {
    // A FIFO or a device named like a picture would hold a decoder that opens it by
    // name for ever.
    refuseSpecialFile(path);
    TPicture loaded;
    loaded.loadFromFile(path);
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(loaded.graphic()))
        chooseScale(*jpeg, shown);
    loaded.graphic()->image();
    return loaded.takeGraphic();
}

void LoadPreview(TImage& image, const std::string& path) {
    image.picture().setGraphic(DecodePreview(path, devicePixels(image)));
    image.update();
}

TPreviewLoader::TPreviewLoader(TImage& image, QObject* parent)
    : QObject(parent), image_(image), resized_(new QTimer(this)) {
    resized_->setSingleShot(true);
    resized_->setInterval(150);
    connect(resized_, &QTimer::timeout, this, &TPreviewLoader::refresh);
    image_.installEventFilter(this);
    for (int i = 0; i < kWorkers; ++i)
        workers_.emplace_back([this] { work(); });
}

TPreviewLoader::~TPreviewLoader() {
    {
        const std::lock_guard guard(lock_);
        quit_ = true;
        latest_ = 0; // nothing in flight is wanted any more
    }
    wake_.notify_all();
    for (std::thread& w : workers_)
        w.join();
    // Results already posted go with this object's pending events.
}

void TPreviewLoader::work() {
    for (;;) {
        Request request;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return quit_ || !requests_.empty(); });
            if (quit_)
                return;
            request = std::move(requests_.front());
            requests_.pop_front();
        }
        if (request.generation != latest_)
            continue; // the user has moved on before it started
        auto result = std::make_shared<Result>();
        try {
            result->graphic = DecodePreview(request.path, request.shown);
        } catch (...) {
            result->failure = std::current_exception();
        }
        if (request.generation != latest_)
            continue;
        // The GUI thread checks the generation again: the user may click meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, generation = request.generation, result] { delivered(generation, *result); },
            Qt::QueuedConnection);
    }
}

std::optional<TPreviewLoader::Shown> TPreviewLoader::current(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return Shown{path,       st.st_dev,  st.st_ino,     st.st_size,
                 st.st_mtim, st.st_ctim, image_.size(), image_.picture().graphic(),
                 nullptr};
}

bool TPreviewLoader::Shown::operator==(const Shown& other) const {
    return path == other.path && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec && controlSize == other.controlSize &&
           graphic == other.graphic;
}

void TPreviewLoader::Show(const std::string& path, TFailure onFailure) {
    // Taken before the load, so that a file changed meanwhile is decoded again next time.
    std::optional<Shown> now = current(path);
    if (now && now == shown_) {
        if (shown_->failure && onFailure)
            onFailure(shown_->failure);
        return;
    }
    if (now && pending_ && now == pending_->file) {
        // The same file is on its way; the latest caller hears how it went.
        pending_->onFailure = std::move(onFailure);
        return;
    }
    Clear();
    if (now)
        now->graphic = nullptr; // what the control holds until the result comes
    request(path, std::move(now), std::move(onFailure));
}

void TPreviewLoader::request(const std::string& path, std::optional<Shown> file,
                             TFailure onFailure) {
    ++decodes_;
    const std::uint64_t generation = latest_ + 1;
    pending_ = Pending{generation, std::move(file), std::move(onFailure)};
    {
        const std::lock_guard guard(lock_);
        latest_ = generation;
        // Requests still waiting are older: drop them now rather than when a worker
        // gets to them.
        requests_.clear();
        requests_.push_back({generation, path, devicePixels(image_)});
    }
    wake_.notify_one();
}

bool TPreviewLoader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &image_ && event->type() == QEvent::Resize)
        resized_->start();
    return QObject::eventFilter(watched, event);
}

void TPreviewLoader::refresh() {
    const TGraphic* graphic = image_.picture().graphic();
    if (!shown_ || shown_->failure || pending_ || !graphic || graphic != shown_->graphic)
        return;
    // Only a JPEG decoded at a reduced scale has more to show.
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(graphic);
    const QSize need = devicePixels(image_);
    if (!jpeg || jpeg->scale() == TJPEGScale::jsFullSize ||
        (graphic->width() >= need.width() && graphic->height() >= need.height())) {
        shown_->controlSize = image_.size(); // the same file needs no decode at this size
        return;
    }
    std::optional<Shown> now = current(shown_->path);
    if (!now)
        return;
    // Shown until the sharper one comes; no error is reported for a file that was shown.
    const std::string path = now->path;
    request(path, std::move(now), {});
}

void TPreviewLoader::Clear() {
    image_.clear();
    shown_.reset();
    if (pending_) {
        pending_.reset();
        ++latest_; // whatever is decoding now is no longer wanted
    }
}

void TPreviewLoader::delivered(std::uint64_t generation, Result& result) {
    if (!pending_ || pending_->generation != generation)
        return;
    Pending done = std::move(*pending_);
    pending_.reset();
    if (result.graphic) {
        image_.picture().setGraphic(std::move(result.graphic));
        image_.update();
    } else if (image_.picture().graphic()) {
        image_.clear(); // a file shown before that fails now
    }
    if (done.file) {
        // A file that is no picture fails again without another try, which for a
        // plug-in that gives up only at its time limit saves the user that wait.
        done.file->graphic = image_.picture().graphic();
        done.file->failure = result.failure;
        shown_ = std::move(done.file);
    }
    if (result.failure && done.onFailure)
        done.onFailure(result.failure);
    emit settled();
}

} // namespace kelvora

#include "album/album_runner.h"
#include "album/album_texts.h"
#include "base/base_texts.h"

#include <QMetaObject>

namespace kelvora {

TAlbumRunner::TAlbumRunner(QObject* parent) : QObject(parent) {}

TAlbumRunner::~TAlbumRunner() {
    stop_ = true;
    join();
    run_.reset(); // removes what was staged
}

void TAlbumRunner::join() {
    if (thread_.joinable())
        thread_.join();
}

void TAlbumRunner::start(TAlbumJob job, int jobs) {
    if (run_)
        return;
    join();
    job_ = job;
    stop_ = false;
    run_ = std::make_unique<TAlbumRun>(std::move(job), jobs);
    TAlbumRun* run = run_.get();
    thread_ = std::thread([this, run] {
        TAlbumRunHooks hooks;
        // Emitted from this thread: queued to the receivers in the window's thread.
        hooks.progress = [this](int position, int maximum) { emit progress(position, maximum); };
        hooks.pictureStarted = [this](int index) { emit pictureStarted(index); };
        hooks.pictureConverted = [this](int index, const QImage& preview) {
            emit pictureConverted(index, preview);
        };
        bool ok = false;
        QString message;
        try {
            run->convertPictures(hooks, &stop_);
            ok = true;
        } catch (const Exception& e) {
            message = e.message();
        } catch (const std::bad_alloc&) {
            message = BaseTexts::Text(BaseTexts::SOutOfMemory);
        } catch (const std::exception& e) {
            message = QString::fromLocal8Bit(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, ok, message] { ended(ok, message); }, Qt::QueuedConnection);
    });
}

void TAlbumRunner::cancel() {
    stop_ = true;
}

void TAlbumRunner::ended(bool ok, const QString& message) {
    join();
    if (ok && !stop_) {
        emit converted();
        return;
    }
    run_.reset();
    emit failed(ok ? AlbumTexts::Text(AlbumTexts::SAborted) : message);
}

TAlbumRunResult TAlbumRunner::finish(const TAlbumPageOptions& options,
                                     const TCommentLookup& comments) {
    std::unique_ptr<TAlbumRun> run = std::move(run_);
    if (!run)
        return {};
    return run->finish(options, comments);
}

} // namespace kelvora

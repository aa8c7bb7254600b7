#pragma once
// The main window's preview: a picture file decoded for a control that shows it
// stretched. A JPEG is decoded at the smallest of libjpeg's reduced scales (1/8, 1/4,
// 1/2) that still covers the control in device pixels, so that going through a folder
// of large photographs stays quick; other formats are decoded whole.
//
// TPreviewLoader decodes on two worker threads of its own, never on the GUI thread: a
// picture in a plug-in format takes a second or more, and the file list's selection
// must follow the user's clicks meanwhile. The latest request wins: each request
// bumps a generation number that the workers read; a request that is no longer the
// latest is dropped before it starts, and the result of one already decoding is thrown
// away when it comes back (a decoder cannot be interrupted midway). Results reach the
// control by a queued call on the GUI thread. With both workers busy on pictures the
// user has left, the latest waits for the first of them to end.
//
// A control that grows past the picture it shows (a JPEG decoded at a reduced scale
// for a smaller control) has the file decoded again for its new size, shortly after
// the last resize; the old picture stays meanwhile.
//
// Threading: Show, Clear and the accessors run on the GUI thread; the workers see only
// the request (path and size, by value) and the generation counter. The destructor
// waits for a decode in progress, which the plug-in helper's time limits bound.
#include <QObject>
#include <QSize>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace kelvora {

class TGraphic;
class TImage;

// Decodes the file for a control of `shown` device pixels. Raises the loader's and the
// decoder's errors. A FIFO, a socket or a device is never opened ("ファイル %s は開けません").
// Any thread.
std::unique_ptr<TGraphic> DecodePreview(const std::string& path, const QSize& shown);

// Loads the file into image now, on the calling thread; the control keeps what it
// showed when this raises.
void LoadPreview(TImage& image, const std::string& path);

// Shows files in one preview control. A click in the file list reports the selection
// change twice (the old row leaves, the new one comes), and both reports name the
// focused file: the second must not decode it again, which for a large picture or a
// plug-in format costs as much as the first. A file counts as the one shown (or being
// decoded) while its path, inode, size, modification and change times and the
// control's size are those of the request.
class TPreviewLoader : public QObject {
    Q_OBJECT
public:
    // Called on the GUI thread with what the decode raised.
    using TFailure = std::function<void(std::exception_ptr)>;

    explicit TPreviewLoader(TImage& image, QObject* parent = nullptr);
    ~TPreviewLoader() override;

    // Clears the control and starts decoding path for it, unless the control shows that
    // very file already or it is being decoded. A failure leaves the control empty and
    // is passed to onFailure, if given, once the decode ends; a file that failed fails
    // again at once while it is unchanged, without another decode.
    void Show(const std::string& path, TFailure onFailure = {});
    // Empties the control; a decode in progress is forgotten.
    void Clear();
    // How many decodes were started, for the tests of the reuse above.
    int Decodes() const { return decodes_; }
    // A request is waiting for its result.
    bool Busy() const { return pending_.has_value(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The latest request's result has been shown (or its failure reported).
    void settled();

private:
    struct Shown {
        std::string path;
        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
        timespec changed;
        QSize controlSize;
        const TGraphic* graphic;    // what the control showed after the load
        std::exception_ptr failure; // what the load raised
        bool operator==(const Shown& other) const;
    };
    struct Pending {
        std::uint64_t generation;
        std::optional<Shown> file; // empty when the file could not be examined
        TFailure onFailure;
    };
    struct Request {
        std::uint64_t generation;
        std::string path;
        QSize shown; // device pixels
    };
    struct Result {
        std::unique_ptr<TGraphic> graphic;
        std::exception_ptr failure;
    };
    std::optional<Shown> current(const std::string& path) const;
    void request(const std::string& path, std::optional<Shown> file, TFailure onFailure);
    // After a resize: decodes the file shown again when the control outgrew it.
    void refresh();
    void work();
    // On the GUI thread: the result of a request.
    void delivered(std::uint64_t generation, Result& result);

    TImage& image_;
    std::optional<Shown> shown_;
    std::optional<Pending> pending_;
    int decodes_ = 0;
    QTimer* resized_; // the resizes settle before a new decode

    // Shared with the workers.
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Request> requests_;
    bool quit_ = false;
    std::atomic<std::uint64_t> latest_{0};
    std::vector<std::thread> workers_;
};

} // namespace kelvora

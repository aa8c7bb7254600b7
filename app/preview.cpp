#include "app/preview.h"

#include "base/file_io.h"
#include "jpeg/jpeg_image.h"
#include "ui/image.h"

#include <sys/stat.h>

namespace kelvora {
namespace {

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

} // namespace

void LoadPreview(TImage& image, const std::string& path) {
    // A FIFO or a device named like a picture would hold the window up for ever in a
    // decoder that opens it by name.
    refuseSpecialFile(path);
    TPicture loaded;
    loaded.loadFromFile(path);
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(loaded.graphic()))
        chooseScale(*jpeg, image.size() * image.devicePixelRatioF());
    loaded.graphic()->image();
    image.picture().setGraphic(loaded.takeGraphic());
    image.update();
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

void TPreviewLoader::Show(const std::string& path) {
    // Taken before the load, so that a file changed meanwhile is decoded again next time.
    std::optional<Shown> now = current(path);
    if (now && now == shown_) {
        if (shown_->failure)
            std::rethrow_exception(shown_->failure);
        return;
    }
    Clear();
    ++decodes_;
    try {
        LoadPreview(image_, path);
    } catch (...) {
        // A file that is no picture fails again without another try, which for a
        // plug-in that gives up only at its time limit saves the user that wait.
        if (now) {
            now->graphic = nullptr;
            now->failure = std::current_exception();
            shown_ = now;
        }
        throw;
    }
    if (now) {
        now->graphic = image_.picture().graphic();
        shown_ = now;
    }
}

void TPreviewLoader::Clear() {
    image_.clear();
    shown_.reset();
}

} // namespace kelvora

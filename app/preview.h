#pragma once
// The main window's preview: a picture file decoded for a control that shows it
// stretched. A JPEG is decoded at the smallest of libjpeg's reduced scales (1/8, 1/4,
// 1/2) that still covers the control in device pixels, so that going through a folder
// of large photographs stays quick; other formats are decoded whole.
#include <QSize>
#include <exception>
#include <optional>
#include <string>
#include <sys/types.h>

namespace kelvora {

class TGraphic;
class TImage;

// Loads the file into image through the picture loader and decodes it now. Raises the
// loader's and the decoder's errors; the control then keeps what it showed. A FIFO, a
// socket or a device is never opened ("ファイル %s は開けません").
void LoadPreview(TImage& image, const std::string& path);

// Shows files in one preview control. A click in the file list reports the selection
// change twice (the old row leaves, the new one comes), and both reports name the
// focused file: the second must not decode it again, which for a large picture or a
// plug-in format costs as much as the first. A file counts as the one shown while its
// path, inode, size, modification and change times and the control's size are those of the last
// load.
class TPreviewLoader {
public:
    explicit TPreviewLoader(TImage& image) : image_(image) {}

    // Clears the control and loads path into it, unless the control shows that very
    // file already. Raises as LoadPreview, leaving the control empty; a file that failed
    // raises the same error again while it is unchanged.
    void Show(const std::string& path);
    void Clear();
    // How many files were decoded, for the tests of the reuse above.
    int Decodes() const { return decodes_; }

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
    std::optional<Shown> current(const std::string& path) const;

    TImage& image_;
    std::optional<Shown> shown_;
    int decodes_ = 0;
};

} // namespace kelvora

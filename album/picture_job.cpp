#include "album/picture_job.h"

#include "album/album_texts.h"
#include "album/dib_conversion.h"
#include "album/nearest_scale.h"
#include "album/picture_converter.h"
#include "album/smooth_copy.h"
#include "album/staged_file.h"
#include "album/streamed_conversion.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/orientation.h"
#include "base/picture.h"
#include "base/unique_fd.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_image.h"
#include "spi/spi_bitmap.h"
#include "spi/spi_picture_size.h"

#include <QFile>
#include <QImageReader>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

// The settings a TJPEGImage decodes with, so that a streamed picture is the one
// the picture loader would give.
JpegDecodeSettings loaderDecodeSettings() {
    const TJPEGDefaults& d = JPEGDefaults();
    return {d.grayscale, d.performance, d.pixelFormat, d.progressiveDisplay, d.scale, d.smoothing};
}

std::size_t heldCopyBytes(const TPictureSettings& settings, QSize upright) {
    const QSize size = TargetSize(settings, upright.width(), upright.height());
    return static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 3;
}

// What a Smooth output's filter holds beside the rows it is fed (rows: their size;
// rowBytes 1, 3 or 4).
std::size_t smoothBytes(const TPictureSettings& settings, QSize upright, QSize rows,
                        int orientation, int rowBytes) {
    const QSize size = TargetSize(settings, upright.width(), upright.height());
    return SmoothCopy::workingMemory(size, rows, orientation, rowBytes);
}

void checkStop(const std::atomic<bool>* stop) {
    if (stop && stop->load(std::memory_order_relaxed))
        throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));
}

// The picture scaled and encoded whole into both outputs.
QImage convertPicture(const TPictureJob& job, const QImage& picture, TStagedFile& large,
                      TStagedFile& small, const std::function<void()>& outputDone,
                      const std::atomic<bool>* stop) {
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        throw EInvalidGraphic(QStringLiteral("画像 %1 には画素がありません").arg(toQ(job.source)));
    checkStop(stop);
    large.write(EncodeScaledPicture(*job.large, picture));
    outputDone();
    checkStop(stop);
    small.write(EncodeScaledPicture(*job.small, picture));
    outputDone();
    const QSize preview = PreviewSize(picture.size(), kRunPreviewSide);
    return ScaleNearest(picture, preview.width(), preview.height());
}

QImage convertWhole(const TPictureJob& job, TStagedFile& large, TStagedFile& small,
                    const std::function<void()>& outputDone, const std::atomic<bool>* stop) {
    QImage picture;
    {
        TPicture loaded;
        loaded.loadFromFile(job.source);
        picture = loaded.graphic()->image();
    } // the compressed source goes as soon as it is decoded
    return convertPicture(job, picture, large, small, outputDone, stop);
}

// What TSPIBitmap turns to when no plug-in decodes the file: the bitmap reader,
// which also reads whatever Qt knows by its content.
QImage loadAsBitmap(const std::string& source) {
    std::unique_ptr<TGraphic> bitmap = std::make_unique<TBitmap>();
    try {
        bitmap->loadFromFile(source);
    } catch (...) {
        bitmap.reset(); // its own error is dropped, as the picture loader drops it
    }
    TSPIBitmap picture;
    picture.AssignLoadedGraphic(std::move(bitmap)); // "Susie Plugins could not decode" for none
    return picture.image();
}

QImage convertPluginPicture(const TPictureJob& job, TStagedFile& large, TStagedFile& small,
                            const std::function<void()>& outputDone,
                            const std::atomic<bool>* stop) {
    // A file that is not there (or a FIFO, a folder) is named as such, as in every
    // other format, and never handed to a plug-in.
    const UniqueFd readable(openDescriptorForReading(job.source));
    auto graphic = std::make_unique<TSPIGraphic>();
    // A stop asks the plug-in to give up at its next progress report.
    graphic->onProgress = [stop](TGraphic&, TProgressStage, int, bool, const QRect&,
                                 const QString&) { checkStop(stop); };
    try {
        graphic->loadFromFile(job.source);
    } catch (...) {
        graphic.reset();
    }
    checkStop(stop);
    if (!graphic)
        return convertPicture(job, loadAsBitmap(job.source), large, small, outputDone, stop);
    const TScaledOutput outputs[] = {{job.large, &large}, {job.small, &small}};
    QImage preview = ConvertDibRows(*graphic, outputs, kRunPreviewSide, stop);
    graphic.reset(); // the bitmap goes back to the system at once
    outputDone();
    outputDone();
    return preview;
}

// The bitmap of a picture in a plug-in format, from the size its plug-in tells:
// a picture whose plug-in cannot tell, or tells a size no picture can have,
// counts as one of the largest that may be decoded.
std::size_t pluginBitmapBytes(const std::optional<TSPIPictureSize>& size) {
    long long width = size ? size->width : 0;
    long long height = size ? size->height : 0;
    if (width < 1 || height < 1 || width * height > kMaxPicturePixels) {
        width = kMaxPicturePixels;
        height = 1;
    }
    int bits = 32; // when the depth is none a bitmap has
    for (const int depth : {1, 4, 8, 16, 24, 32})
        if (size && size->colorDepth == depth)
            bits = depth;
    return static_cast<std::size_t>((bits * width + 31) / 32 * 4 * height);
}

} // namespace

bool IsPluginPicture(const TPictureJob& job) {
    // A plug-in's ".bmp" is read by the bitmap reader first, as a whole file.
    const std::string ext = lowerExtension(job.source);
    return ext != "bmp" && TPicture::classForExtension(ext) == &TSPIBitmap::classInfo();
}

bool IsStreamable(const TPictureJob& job) {
    return job.large->PictureType == "Jpeg" && job.small->PictureType == "Jpeg" &&
           JpegRowReader::canRead(loaderDecodeSettings()) &&
           TPicture::classForExtension(lowerExtension(job.source)) == &TJPEGImage::classInfo();
}

std::size_t EstimateWorkingMemory(const TPictureJob& job) {
    try {
        if (IsStreamable(job)) {
            const UniqueFd fd(openDescriptorForReading(job.source));
            JpegRowReader reader(fd.get(), loaderDecodeSettings());
            std::size_t bytes = reader.workingMemory();
            const JpegHeader& h = reader.header();
            const QSize upright = UprightSize({h.width, h.height}, h.orientation);
            const TScaledOutput outputs[] = {{job.large, nullptr}, {job.small, nullptr}};
            reader.setScale(JpegDecodeScale(h, outputs));
            const QSize rows = reader.outputSize();
            for (const TScaledOutput& out : outputs) {
                const TPictureSettings& s = *out.settings;
                if (s.Smooth)
                    bytes += smoothBytes(s, upright, rows, h.orientation, reader.bytesPerPixel());
                else if (h.orientation != 1)
                    bytes += heldCopyBytes(s, upright);
            }
            return bytes;
        }
        // Converted from the plug-in's bitmap, which no scaled copy joins.
        if (IsPluginPicture(job)) {
            const UniqueFd readable(openDescriptorForReading(job.source)); // else it counts nothing
            const std::optional<TSPIPictureSize> size = GetSPIPictureSize(job.source);
            std::size_t bytes = pluginBitmapBytes(size);
            if (job.large->Smooth || job.small->Smooth) {
                // Sized as the plug-in tells; a size it cannot tell counts as none.
                const QSize picture = size ? QSize(size->width, size->height) : QSize();
                for (const TPictureSettings* s : {job.large, job.small})
                    if (s->Smooth && !picture.isEmpty() &&
                        static_cast<long long>(picture.width()) * picture.height() <=
                            kMaxPicturePixels)
                        bytes += smoothBytes(*s, picture, picture, 1, 4);
            }
            return bytes;
        }
        // Loaded whole: the decoded picture and its scaled copies. Opened as the
        // loader opens it, so that a FIFO in a picture's place cannot block the plan.
        const UniqueFd fd(openDescriptorForReading(job.source));
        QFile file;
        file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
        const QSize size =
            QImageReader(&file, QByteArray::fromStdString(lowerExtension(job.source))).size();
        if (size.isValid()) {
            const std::size_t pixels =
                static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height());
            std::size_t bytes =
                pixels * 4 + heldCopyBytes(*job.large, size) + heldCopyBytes(*job.small, size);
            // A Smooth output filters a copy of the picture in its colours.
            for (const TPictureSettings* s : {job.large, job.small})
                if (s->Smooth)
                    bytes += pixels * 4 + smoothBytes(*s, size, size, 1, 4);
            return bytes;
        }
        struct stat st;
        if (::fstat(fd.get(), &st) == 0)
            return static_cast<std::size_t>(st.st_size) * 8;
    } catch (const std::exception&) {
        // The conversion itself will report what is wrong with the file.
    }
    return 0;
}

QImage ConvertPictureJob(const TPictureJob& job, TStagedFile& large, TStagedFile& small,
                         const std::function<void()>& outputDone, const std::atomic<bool>* stop) {
    checkStop(stop);
    // A folder in the list is named as a folder, not as a picture whose extension
    // (often none) has no format.
    struct stat st;
    if (::stat(job.source.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        const UniqueFd folder(openDescriptorForReading(job.source)); // raises: "Is a directory"
    if (IsStreamable(job)) {
        UniqueFd fd;
        std::unique_ptr<JpegRowReader> reader;
        try {
            fd.reset(openDescriptorForReading(job.source));
            reader = std::make_unique<JpegRowReader>(fd.get(), loaderDecodeSettings());
        } catch (const Exception&) {
            reader.reset(); // the picture loader gives the error this file deserves
        }
        if (reader) {
            const TScaledOutput outputs[] = {{job.large, &large}, {job.small, &small}};
            QImage preview = ConvertJpegRows(*reader, outputs, kRunPreviewSide, stop);
            outputDone();
            outputDone();
            return preview;
        }
    }
    if (IsPluginPicture(job))
        return convertPluginPicture(job, large, small, outputDone, stop);
    return convertWhole(job, large, small, outputDone, stop);
}

} // namespace kelvora

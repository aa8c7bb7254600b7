#include "album/picture_area.h"

#include "base/file_io.h"
#include "base/picture.h"
#include "base/unique_fd.h"
#include "jpeg/jpeg_decode.h"
#include "jpeg/jpeg_image.h"

namespace kelvora {

std::uint64_t EstimatePictureArea(const TPictureJob& job, std::size_t workingMemory) {
    // A streamed JPEG holds a few rows whatever its size: only its header tells.
    if (TPicture::classForExtension(lowerExtension(job.source)) == &TJPEGImage::classInfo()) {
        try {
            const UniqueFd fd(openDescriptorForReading(job.source));
            const JpegRowReader reader(fd.get(), {});
            return static_cast<std::uint64_t>(reader.header().width) *
                   static_cast<std::uint64_t>(reader.header().height);
        } catch (const std::exception&) {
            // Not a JPEG stream after all: the loader decides what it is.
        }
    }
    return workingMemory / 4;
}

} // namespace kelvora

#include "app/startup.h"

#include "base/builtin_formats.h"
#include "jpeg/jpeg_image.h"

#include <malloc.h>

namespace kelvora {

void registerPictureFormats(int displayDepth) {
    registerBuiltinFormats();
    chooseDefaultPixelFormat(displayDepth);
    registerJpegFormat();
}

void releaseLargeBlocksAtOnce() {
    // A fixed threshold also stops glibc from raising it after each large free.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

} // namespace kelvora

#include "app/startup.h"

#include "base/builtin_formats.h"
#include "jpeg/jpeg_image.h"

namespace kelvora {

void registerPictureFormats(int displayDepth) {
    registerBuiltinFormats();
    chooseDefaultPixelFormat(displayDepth);
    registerJpegFormat();
}

} // namespace kelvora

#include "app/startup.h"

#include "base/builtin_formats.h"
#include "jpeg/jpeg_image.h"
#include "spi/spi_bitmap.h"
#include "spi/spis.h"

#include <malloc.h>

namespace kelvora {

void registerPictureFormats(int displayDepth) {
    registerBuiltinFormats();
    chooseDefaultPixelFormat(displayDepth);
    registerJpegFormat();
    InitSPIBitmap();
}

void unregisterPictureFormats() {
    FinalizeSPIBitmap();
    unregisterJpegFormat();
}

std::unique_ptr<TSPIs> loadPlugins() {
    auto spis = std::make_unique<TSPIs>();
    spis->GraphicPreview = false;
    spis->SearchOptions = {spsSusieDir, spsAppDir};
    spis->Loaded();
    return spis;
}

void releaseLargeBlocksAtOnce() {
    // A fixed threshold also stops glibc from raising it after each large free.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

} // namespace kelvora

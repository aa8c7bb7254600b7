#include "app/startup.h"

#include "base/builtin_formats.h"
#include "jpeg/jpeg_image.h"
#include "spi/spi_bitmap.h"
#include "spi/spis.h"

namespace kelvora {

void registerPictureFormats(int displayDepth) {
    registerBuiltinFormats();
    chooseDefaultPixelFormat(displayDepth);
    registerJpegFormat();
    InitSPIBitmap();
}

std::unique_ptr<TSPIs> loadPlugins() {
    auto spis = std::make_unique<TSPIs>();
    spis->GraphicPreview = false;
    spis->SearchOptions = {spsSusieDir, spsAppDir};
    spis->Loaded();
    return spis;
}

} // namespace kelvora

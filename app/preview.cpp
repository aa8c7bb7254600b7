#include "app/preview.h"

#include "jpeg/jpeg_image.h"
#include "ui/image.h"

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
    TPicture loaded;
    loaded.loadFromFile(path);
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(loaded.graphic()))
        chooseScale(*jpeg, image.size() * image.devicePixelRatioF());
    loaded.graphic()->image();
    image.picture().setGraphic(loaded.takeGraphic());
    image.update();
}

} // namespace kelvora

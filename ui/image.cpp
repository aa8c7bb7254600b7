#include "ui/image.h"

#include "base/bitmap.h"

#include <QPainter>

namespace kelvora {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::loadFromFile(const std::string& fileName) {
    // Decoded now rather than at the next paint, so that a picture that cannot
    // be decoded fails here and the control keeps what it showed.
    TPicture loaded;
    loaded.loadFromFile(fileName);
    loaded.graphic()->image();
    picture_.setGraphic(loaded.takeGraphic());
    update();
}

void TImage::setImage(const QImage& image) {
    if (image.isNull()) {
        clear();
        return;
    }
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->setImage(image);
    picture_.setGraphic(std::move(bitmap));
    update();
}

void TImage::clear() {
    picture_.clear();
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (picture_.empty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A picture that fails to decode on drawing just shows nothing.
    try {
        picture_.draw(painter, rect());
    } catch (const std::exception&) {
    }
}

} // namespace kelvora

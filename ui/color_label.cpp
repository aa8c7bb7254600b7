#include "ui/color_label.h"

namespace kelvora {

TColorLabel::TColorLabel(TColor color, QWidget* parent) : QLabel(parent), color_(color) {
    setAutoFillBackground(true);
    setFrameShape(QFrame::Box);
    setMinimumSize(40, 20);
    setColor(color);
}

void TColorLabel::setColor(TColor color) {
    color_ = color;
    QPalette p = palette();
    p.setColor(QPalette::Window, toQColor(color));
    setPalette(p);
}

} // namespace kelvora

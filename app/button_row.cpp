#include "app/button_row.h"

#include <QPushButton>

namespace kelvora {

TButtonRow::TButtonRow(int designWidth, int height, QWidget* parent)
    : QWidget(parent), designWidth_(designWidth), height_(height) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TButtonRow::addButton(QPushButton* button, int designLeft, int top, QSize size) {
    button->setParent(this);
    button->setFixedSize(size);
    buttons_.push_back({button, designLeft + size.width() / 2, top});
    place();
}

QSize TButtonRow::sizeHint() const {
    return {designWidth_, height_};
}

QSize TButtonRow::minimumSizeHint() const {
    return {0, height_};
}

void TButtonRow::resizeEvent(QResizeEvent*) {
    place();
}

void TButtonRow::place() {
    for (const Placed& p : buttons_) {
        const int centre =
            static_cast<int>(static_cast<long long>(p.designCentre) * width() / designWidth_);
        p.button->move(centre - p.button->width() / 2, p.top);
    }
}

} // namespace kelvora

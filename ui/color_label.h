#pragma once
#include "base/color.h"

#include <QLabel>

namespace kelvora {

// A label that shows a colour as its background; the colour is its value.
class TColorLabel : public QLabel {
    Q_OBJECT
public:
    explicit TColorLabel(TColor color, QWidget* parent = nullptr);
    TColor color() const { return color_; }
    void setColor(TColor color);

private:
    TColor color_;
};

} // namespace kelvora

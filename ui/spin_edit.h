#pragma once
#include <QSpinBox>

namespace kelvora {

// A spin edit: a number within a range, typed with at most maxLength digits.
class TSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    TSpinEdit(int minimum, int maximum, int value, int maxLength, QWidget* parent = nullptr);
};

} // namespace kelvora

#include "ui/spin_edit.h"

#include <QLineEdit>

namespace kelvora {

TSpinEdit::TSpinEdit(int minimum, int maximum, int value, int maxLength, QWidget* parent)
    : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(value);
    lineEdit()->setMaxLength(maxLength);
}

} // namespace kelvora

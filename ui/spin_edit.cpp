#include "ui/spin_edit.h"

#include <QLineEdit>
#include <algorithm>

namespace kelvora {

TSpinEdit::TSpinEdit(int minimum, int maximum, int value, int maxLength, QWidget* parent)
    : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(value);
    lineEdit()->setMaxLength(maxLength);
}

int TSpinEdit::interpret(const QString& text) const {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::clamp(n, minimum(), maximum()) : minimum();
}

int TSpinEdit::Value() const {
    return interpret(text());
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const QString decimal = locale().decimalPoint();
    for (const QChar c : input)
        if ((c < QLatin1Char('0') || c > QLatin1Char('9')) && c != QLatin1Char('+') &&
            c != QLatin1Char('-') && decimal != c)
            return QValidator::Invalid;
    bool ok = false;
    const int n = input.toInt(&ok);
    return ok && n >= minimum() && n <= maximum() ? QValidator::Acceptable
                                                  : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString& input) const {
    input = QString::number(interpret(input));
}

} // namespace kelvora

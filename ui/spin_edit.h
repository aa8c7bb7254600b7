#pragma once
#include <QSpinBox>

namespace kelvora {

// A spin edit: a number within a range, typed with at most maxLength characters.
// Typing accepts digits, signs and the decimal separator, so a number beyond the range
// can stand in the box while it has the focus; leaving the box (or Enter) clamps it to
// the bounds, and Value() reads the box as it stands: its text as an integer (text that
// is no integer counts as the minimum), clamped. The arrow keys and buttons step by 1.
class TSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    TSpinEdit(int minimum, int maximum, int value, int maxLength, QWidget* parent = nullptr);

    int Value() const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    int interpret(const QString& text) const;
};

} // namespace kelvora

#pragma once
// A row of buttons anchored at the top only: each button keeps its size, and its
// centre keeps its share of the row's width when the row is resized, so the buttons
// keep their relative horizontal places. Positions are given for the row's design
// width.
#include <QWidget>
#include <vector>

class QPushButton;

namespace kelvora {

class TButtonRow : public QWidget {
    Q_OBJECT
public:
    TButtonRow(int designWidth, int height, QWidget* parent = nullptr);
    // Places button at designLeft (at the design width), top and size as given.
    void addButton(QPushButton* button, int designLeft, int top, QSize size);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placed {
        QPushButton* button;
        int designCentre;
        int top;
    };
    void place();

    int designWidth_;
    int height_;
    std::vector<Placed> buttons_;
};

} // namespace kelvora

#pragma once
#include <QMainWindow>

namespace kelvora {

// The main window. For now it only carries the program's title.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

} // namespace kelvora

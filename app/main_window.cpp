#include "app/main_window.h"

namespace kelvora {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kelvora"));
    resize(640, 480);
}

} // namespace kelvora

// The baseline of the start-up benchmark: the least a Qt Widgets program does before
// its first window is on the screen.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Kelvora"));
    label.resize(400, 250);
    label.show();
    return app.exec();
}

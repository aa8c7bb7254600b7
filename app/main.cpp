#include "app/main_window.h"
#include "app/startup.h"

#include <QApplication>
#include <QScreen>
#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvora"));
    const QScreen* screen = QGuiApplication::primaryScreen();
    kelvora::registerPictureFormats(screen ? screen->depth() : 32);

    kelvora::TForm1 form1;
    form1.show();
    return app.exec();
}

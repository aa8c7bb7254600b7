#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "base/shell_opener.h"
#include "settings/inifile.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QScreen>
#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvora"));
    kelvora::applyInterfaceFont(app);
    const QScreen* screen = QGuiApplication::primaryScreen();
    kelvora::registerPictureFormats(screen ? screen->depth() : 32);

    // Every window lives until the program ends; all but the main window start hidden.
    kelvora::TDialogs& dialogs = kelvora::DefaultDialogs();
    kelvora::TForm4 form4;
    kelvora::TForm3 form3(form4, kelvora::OptionFilePath(), dialogs, kelvora::DefaultShellOpener());
    kelvora::TForm1 form1(form3, form4, dialogs);
    kelvora::TForm2 form2(form1.SPIs1);
    form1.SetPluginListWindow(&form2);
    form1.show();
    return app.exec();
}

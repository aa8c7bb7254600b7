#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "base/shell_opener.h"
#include "settings/inifile.h"
#include "shell/ui/notify_error_handler.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QScreen>
#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    kelvora::releaseLargeBlocksAtOnce();
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
    // The folder browser's worker threads report their errors over the main window.
    kelvora::ShInstallNotifyErrorHandler(dialogs, &form1);
    form1.show();
    return app.exec();
}

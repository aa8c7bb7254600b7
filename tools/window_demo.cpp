// Shows one window of the program, or a dialog over it, for the screenshots in docs/.
// Usage: kelvora-demo-window SCENARIO [PICTURE...]
//   splash, options, options-cancel, about, save-overwrite, color, comment-editor
// It quits by itself after a few seconds; docs/make-window-screenshots.sh captures it.
#include "album/ui/comment_editor.h"
#include "app/program.h"
#include "app/splash.h"
#include "app/version_window.h"
#include "base/shell_opener.h"
#include "settings/ui/option_dialog.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <clocale>
#include <cstdio>
#include <memory>

using namespace kelvora;

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    SetUpApplication(app);
    QApplication::setApplicationName(QStringLiteral("Kelvora"));
    if (argc < 2)
        return 2;
    const QString scenario = QString::fromLocal8Bit(argv[1]);
    const QString folder = QDir::tempPath() + QStringLiteral("/kelvora-demo-window");
    QDir().mkpath(folder);
    TDialogs& dialogs = DefaultDialogs();

    TfrmSplash splash;
    std::unique_ptr<QWidget> window;
    if (scenario == QLatin1String("splash")) {
        splash.show();
    } else if (scenario.startsWith(QLatin1String("options"))) {
        auto* options = new TfrmOption((folder + "/Option.ini").toStdString(), dialogs, nullptr);
        window.reset(options);
        options->show();
        if (scenario == QLatin1String("options-cancel"))
            QTimer::singleShot(300, options, [options] { options->Button1Click(); });
    } else if (scenario == QLatin1String("about")) {
        window = std::make_unique<TfrmVersion>(splash, DefaultShellOpener(), nullptr);
        window->show();
    } else if (scenario == QLatin1String("save-overwrite")) {
        QFile existing(folder + QStringLiteral("/album.html"));
        existing.open(QIODevice::WriteOnly);
        existing.close();
        QDir::setCurrent(folder);
        QTimer::singleShot(0,
                           [&] { dialogs.saveFileName(nullptr, "HTMLファイル(*.html)|*.html"); });
        // Choose the existing page, so that the dialog asks before replacing it.
        QTimer::singleShot(800, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                // Typed, as a user would: selectFile() leaves a focused name box alone.
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(QStringLiteral("album.html"));
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
        });
    } else if (scenario == QLatin1String("color")) {
        QTimer::singleShot(0, [&] { dialogs.chooseColor(nullptr, QColor(0x33, 0x66, 0x99)); });
    } else if (scenario == QLatin1String("comment-editor")) {
        auto* editor = new TForm4;
        window.reset(editor);
        TStringList files;
        for (int i = 2; i < argc; ++i)
            files.add(argv[i]);
        editor->OpenWith(files);
        const QStringList comments = {QStringLiteral("朝の港"),
                                      QStringLiteral("山道にて\r\n二日目"), QString(),
                                      QStringLiteral("夕焼け")};
        for (int i = 0; i < editor->ListView1->topLevelItemCount() && i < comments.size(); ++i)
            editor->ListView1->topLevelItem(i)->setText(1, comments[i]);
        if (QTreeWidgetItem* second = editor->ListView1->topLevelItem(1)) {
            editor->ListView1->setCurrentItem(second);
            editor->ListView1Click();
        }
    } else {
        std::fprintf(stderr, "unknown scenario\n");
        return 2;
    }
    // exit(), not quit(): quit() asks the windows to close, and the options dialog refuses.
    QTimer::singleShot(6000, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}

// Shows the generation window after a finished run over the given pictures, for
// the screenshot in docs/. Usage: kelvora-demo-generation [--running] PAGE.html PICTURE...
// It quits by itself after a few seconds; docs/make-screenshot.sh captures it. With
// --running it stops the run after a few seconds instead, so that
// docs/make-run-screenshot.sh can capture the window during the run.
#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/startup.h"
#include "base/codepage.h"
#include "base/shell_opener.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {
// Records the closing message instead of waiting for a click on it.
class QuietDialogs : public kelvora::TQtDialogs {
public:
    void showMessage(QWidget*, const QString& text) override {
        std::printf("%s\n", text.toLocal8Bit().constData());
    }
};
} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvora"));
    kelvora::applyInterfaceFont(app);
    kelvora::registerPictureFormats(32);
    const bool running = argc > 1 && std::strcmp(argv[1], "--running") == 0;
    if (running) {
        --argc;
        ++argv;
    }
    if (argc < 3)
        return 2;
    QuietDialogs dialogs;
    kelvora::TForm4 form4;
    kelvora::TForm3 form3(form4, "/nonexistent/Option.ini", dialogs, kelvora::DefaultShellOpener());
    form3.HTMLFileName = argv[1];
    for (int i = 2; i < argc; ++i)
        form3.SourceFiles.add(argv[i]);
    form3.move(0, 0);
    form3.show();
    form3.txtTitle->setText(QStringLiteral("夏の旅行"));
    form3.chkFrame->setChecked(true);
    form3.chkComment->setChecked(true);
    QTimer::singleShot(500, &form3, [&] { form3.Button1Click(); });
    if (running)
        QTimer::singleShot(5000, &form3, [&] { form3.btnStopClick(); });
    QTimer::singleShot(8000, &app, &QApplication::quit);
    return app.exec();
}

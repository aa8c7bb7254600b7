// Shows one window of the program, or a dialog over it, for the screenshots in docs/.
// Usage: kelvora-demo-window SCENARIO [PICTURE...]
//   splash, options, options-cancel, about, save-overwrite, color, comment-editor, main
// "main" shows the main window on the folder of the pictures (below the home folder),
// the second one chosen and previewed, the others collected.
// It quits by itself after a few seconds; docs/make-window-screenshots.sh captures it.
#include "album/ui/comment_editor.h"
#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/splash.h"
#include "app/startup.h"
#include "app/version_window.h"
#include "base/shell_opener.h"
#include "settings/ui/option_dialog.h"
#include "shell/items/xdg_dirs.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <memory>

using namespace kelvora;

namespace {

// The ID of a folder below the home folder, reached through the desktop's ホーム item.
TIDListPtr homeFolderID(const std::string& folder) {
    const std::string home = XdgHome() + "/";
    if (folder.rfind(home, 0) != 0)
        return {};
    TIDListPtr id(IDMakeVirtual(TShVirtualFolder::Home));
    for (std::size_t start = home.size(); start < folder.size();) {
        const std::size_t end = std::min(folder.find('/', start), folder.size());
        TIDListPtr item(IDMakeItem(TShItemKind::Entry, folder.substr(start, end - start)));
        id.reset(TVelShID::IDConcat(id.get(), item.get()));
        start = end + 1;
    }
    return id;
}

// The main window as a user leaves it: a folder shown, a picture chosen, some collected.
QWidget* showMainWindow(TAppWindows& windows, TDialogs& dialogs, char** pictures, int count) {
    auto* form1 = new TForm1(windows, dialogs);
    windows.Form1 = form1;
    form1->VelShListView1->SetColumnMemoryFile({}); // no column memory beside the tool
    form1->show();
    if (count < 2)
        return form1;
    const std::string first = pictures[0];
    if (TIDListPtr folder = homeFolderID(first.substr(0, first.rfind('/'))))
        form1->VelShListView1->SetFolder(folder.get());
    for (int i = 0; i < count; ++i) {
        if (i != 1)
            form1->AddFile(pictures[i]);
    }
    const std::string chosen = std::string(pictures[1]).substr(first.rfind('/') + 1);
    TVelShListView& list = *form1->VelShListView1;
    for (int row = 0; row < list.ItemsCount(); ++row) {
        std::string name;
        list.Items(row)->GetDisplayName(name);
        if (name == chosen)
            list.SelectionModel()->setCurrentIndex(list.ShModel()->index(row, 0),
                                                   QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    }
    return form1;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    SetUpApplication(app);
    const TPictureFormatsScope formats(ScreenDepth());
    QApplication::setApplicationName(QStringLiteral("Kelvora"));
    if (argc < 2)
        return 2;
    const QString scenario = QString::fromLocal8Bit(argv[1]);
    const QString folder = QDir::tempPath() + QStringLiteral("/kelvora-demo-window");
    QDir().mkpath(folder);
    TDialogs& dialogs = DefaultDialogs();

    TfrmSplash splash;
    TAppWindows windows;
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
        QTimer::singleShot(
            0, [&] { dialogs.saveFileName(nullptr, "HTMLファイル(*.html)|*.html", "*.html", {}); });
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
    } else if (scenario == QLatin1String("main")) {
        window.reset(showMainWindow(windows, dialogs, argv + 2, argc - 2));
    } else {
        std::fprintf(stderr, "unknown scenario\n");
        return 2;
    }
    // exit(), not quit(): quit() asks the windows to close, and the options dialog refuses.
    QTimer::singleShot(6000, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}

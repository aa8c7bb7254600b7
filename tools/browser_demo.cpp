// Shows the folder tree linked to the file list, as the main window places
// them, for the screenshots in docs/. Usage:
//   kelvora-demo-browser [--view icon|small|list|report] [--folder PATH] [--select N]
//                        [--quit-after MS]
// The tree selects PATH (the list follows); N rows from the top are selected.
// The large icons show thumbnails of the JPEG and BMP pictures.
#include "base/builtin_formats.h"
#include "base/codepage.h"
#include "jpeg/jpeg_image.h"
#include "shell/items/xdg_dirs.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"
#include "ui/fonts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>

using namespace kelvora;

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvora"));
    applyInterfaceFont(app);
    registerBuiltinFormats();
    registerJpegFormat();

    TViewStyle style = vsIcon;
    std::string folder;
    int select = 0;
    int quitAfter = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--view")
            style = value == "small"    ? vsSmallIcon
                    : value == "list"   ? vsList
                    : value == "report" ? vsReport
                                        : vsIcon;
        else if (option == "--folder")
            folder = value;
        else if (option == "--select")
            select = std::stoi(value);
        else if (option == "--quit-after")
            quitAfter = std::stoi(value);
    }

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kelvora"));
    auto* splitter = new QSplitter(&window);
    auto* tree = new TVelShTreeView(splitter);
    auto* list = new TVelShListView(splitter);
    // The demo must not leave a column memory file beside the program.
    list->SetColumnMemoryFile({});
    list->SetThumbnailProducer(ShImageReaderThumbnails());
    splitter->addWidget(tree);
    splitter->addWidget(list);
    splitter->setHandleWidth(3);
    splitter->setSizes({217, 583});
    tree->SetShListView(list);

    QToolBar* bar = window.addToolBar(QStringLiteral("表示"));
    bar->setMovable(false);
    auto* group = new QActionGroup(&window);
    const struct {
        const char* text;
        TViewStyle style;
    } items[] = {{"大きいアイコン", vsIcon},
                 {"小さいアイコン", vsSmallIcon},
                 {"一覧", vsList},
                 {"詳細", vsReport}};
    for (const auto& item : items) {
        QAction* action = bar->addAction(QString::fromUtf8(item.text));
        action->setCheckable(true);
        action->setChecked(item.style == style);
        group->addAction(action);
        const TViewStyle s = item.style;
        QObject::connect(action, &QAction::triggered, list, [list, s] { list->SetViewStyle(s); });
    }
    list->SetViewStyle(style);
    window.setCentralWidget(splitter);
    window.resize(800, 480);
    window.move(0, 0);
    window.show();

    if (!folder.empty()) {
        // A folder below the home folder is reached through ホーム, as a user would.
        const std::string home = XdgHome() + "/";
        TIDListPtr id;
        if (folder.rfind(home, 0) == 0) {
            id.reset(IDMakeVirtual(TShVirtualFolder::Home));
            for (std::size_t start = home.size(); start < folder.size();) {
                const std::size_t end = std::min(folder.find('/', start), folder.size());
                TIDListPtr item(IDMakeItem(TShItemKind::Entry, folder.substr(start, end - start)));
                id.reset(TVelShID::IDConcat(id.get(), item.get()));
                start = end + 1;
            }
        } else {
            PItemIDList parsed = nullptr;
            TVelShID::IDParse(folder, parsed);
            id.reset(parsed);
        }
        if (id)
            list->SetFolder(id.get());
    }
    for (int row = 0; row < select && row < list->ItemsCount(); ++row)
        list->SelectionModel()->select(list->ShModel()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (list->ItemsCount() > 0)
        list->SelectionModel()->setCurrentIndex(list->ShModel()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    if (quitAfter > 0)
        QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    return app.exec();
}

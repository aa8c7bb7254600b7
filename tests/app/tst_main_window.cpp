// The main window driven as a user drives it, headless, over a temporary home folder:
// browsing, the preview, collecting, the hand-over to the generation window and back,
// the commands and the closing question.
#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_windows.h"
#include "app/button_row.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/splash.h"
#include "app/startup.h"
#include "app/version_window.h"
#include "base/file_io.h"
#include "base/program_folder.h"
#include "base/shell_opener.h"
#include "settings/ui/option_dialog.h"
#include "shell/items/drag_object.h"
#include "shell/ui/drag_source.h"
#include "shell/ui/list_thumbnails.h"
#include "spi/spis.h"
#include "spi/ui/plugin_list_window.h"
#include "tests/shell/views_support.h"
#include "tests/support/codepage_guard.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/images.h"
#include "tests/support/qtest_strings.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watchdog.h"
#include "thumbs/thumbnail_uri.h"
#include "ui/image.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

void setModified(const std::string& file, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    QVERIFY(::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0);
}

// The program's windows over a temporary home folder, connected as at start-up.
struct Program {
    // beforeShow runs once the windows exist, before the main window is first shown.
    explicit Program(TDialogs& answers, const std::function<void(Program&)>& beforeShow = {})
        : dialogs(answers) {
        form1 = std::make_unique<TForm1>(windows, dialogs);
        windows.Form1 = form1.get();
        // The column memory stays in the temporary world.
        form1->VelShListView1->SetColumnMemoryFile(world.memoryFile());
        windows.Form4 = &form4;
        form2 = std::make_unique<TForm2>(form1->SPIs1);
        windows.Form2 = form2.get();
        frmOption =
            std::make_unique<TfrmOption>(world.drive() + "/Option.ini", dialogs, form1.get());
        windows.frmOption = frmOption.get();
        frmVersion = std::make_unique<TfrmVersion>(splash, opener, form1.get());
        windows.frmVersion = frmVersion.get();
        form3 = std::make_unique<TForm3>(form4, world.drive() + "/Option.ini", dialogs, opener);
        windows.Form3 = form3.get();
        ConnectWindows(windows);
        if (beforeShow)
            beforeShow(*this);
        form1->show();
    }
    ~Program() {
        form3.reset();
        frmVersion.reset();
        frmOption.reset();
        form2.reset();
        form1.reset();
    }

    // A picture folder below home: a.jpg, big.jpg, broken.jpg, memo.txt and sub/.
    std::string pictures() const {
        const std::string folder = world.home() + "/写真";
        if (!fileExists(folder + "/a.jpg")) {
            world.makeDir(folder + "/sub");
            saveImage(patternImage(64, 48), folder + "/a.jpg", "jpg", 90);
            saveImage(patternImage(1600, 1200), folder + "/big.jpg", "jpg", 50);
            world.makeFile(folder + "/broken.jpg", "not a picture");
            world.makeFile(folder + "/memo.txt", "memo");
        }
        return folder;
    }

    // A click on a folder's node in the tree, as a user chooses a folder: a folder
    // below home, or the desktop.
    void chooseFolder(const std::string& name) {
        TVelShTreeView& tree = *form1->VelShTreeView1;
        clickNode(tree, tree.FindNode(BrowserWorld::homeID({name}).get()));
        QTRY_COMPARE(shownPath(*form1->VelShListView1), world.home() + "/" + name);
    }
    void chooseDesktop() {
        clickNode(*form1->VelShTreeView1, form1->VelShTreeView1->Root());
        QTRY_COMPARE(shownPath(*form1->VelShListView1), world.desktop());
    }

    // A click on a row of the file list, by its name.
    void clickFile(const std::string& name) {
        TVelShListView& list = *form1->VelShListView1;
        const int row = rowNamed(list, name);
        QVERIFY2(row >= 0, name.c_str());
        QAbstractItemView* view = list.ActiveView();
        const QModelIndex index = list.ShModel()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        QCOMPARE(list.ItemFocused()->GetIndex(), row);
        settlePreview();
    }

    // The preview is decoded on a worker: waits until its result is shown.
    void settlePreview() const { QTRY_VERIFY_WITH_TIMEOUT(!form1->Previews().Busy(), 30000); }

    // Each file chosen in the list and added with 追加.
    void collect(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            clickFile(name);
            QTest::mouseClick(form1->Button1, Qt::LeftButton);
        }
    }

    // A folder below home made of what a folder may hold besides pictures: side files
    // that are FIFOs, a picture that is a FIFO, one that is a link to a device, names
    // the code page cannot decode (two of which decode alike), and a subfolder so that
    // the tree reads the folder too.
    std::string oddFolder() const {
        const std::string folder = world.home() + "/odd";
        makeFifoAt(folder + "/.hidden");
        makeFifoAt(folder + "/x.desktop");
        makeFifoAt(folder + "/y.jpg");
        world.makeLink("/dev/zero", folder + "/z.jpg");
        world.makeDir(folder + "/\xFF-dir");
        for (const char* name : {"\xFF\xFE.jpg", "\xE3\x81.jpg", "caf\xE9.txt"})
            world.makeFile(folder + "/" + name, "not a picture");
        return folder;
    }

    // What "追加" and the preview show agrees with the list's focused row: with one,
    // SelectedPath is its path and "追加" is on unless it is listed; without one,
    // "追加" is off and the preview empty.
    void checkFollowsTheList(const char* step) const {
        TForm1& f = *form1;
        TVelShFileData* focused = f.VelShListView1->ItemFocused();
        if (!focused) {
            QVERIFY2(!f.Button1->isEnabled(), step);
            QVERIFY2(f.Image1->picture().empty(), step);
            return;
        }
        std::string path;
        focused->GetPath(path);
        QVERIFY2(f.SelectedPath() == path, step);
        QVERIFY2(f.Button1->isEnabled() == (f.Collected().IndexOf(path) < 0), step);
    }

    // A click on an entry of the collected list.
    void clickEntry(int row) {
        QListView* box = form1->ListBox1;
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {},
                          box->visualRect(box->model()->index(row, 0)).center());
        settlePreview();
    }

    // A click on a toolbar item.
    static void clickItem(QToolBar* bar, QAction* action) {
        QTest::mouseClick(bar->widgetForAction(action), Qt::LeftButton);
    }

    BrowserWorld world;
    TDialogs& dialogs;
    FakeOpener opener;
    TfrmSplash splash;
    TAppWindows windows;
    TForm4 form4;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TfrmOption> frmOption;
    std::unique_ptr<TfrmVersion> frmVersion;
    std::unique_ptr<TForm3> form3;
};

QStringList texts(const QList<QAction*>& actions) {
    QStringList out;
    for (const QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return out;
}

QList<bool> checks(const TForm1& f) {
    return {f.TB_Icon->isChecked(), f.TB_SmallIcon->isChecked(), f.TB_List->isChecked(),
            f.TB_Report->isChecked()};
}

int centreX(const QWidget* w) {
    return w->geometry().center().x();
}

// Answers the next modal dialog once it is up.
void whenModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}

// A drag that ends over the collected list at `at` (in its viewport), as Qt delivers
// it; the action the drop was taken with, or IgnoreAction when it was refused.
Qt::DropAction dropOn(QListView* box, const QMimeData& data, QPoint at, Qt::DropActions offered) {
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box->viewport(), &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box->viewport(), &move);
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box->viewport(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// The upper half of an entry of the collected list: a drop there goes before it.
QPoint above(QListView* box, int row) {
    return box->visualRect(box->model()->index(row, 0)).topLeft() + QPoint(4, 2);
}

void selectEntries(QListView* box, std::initializer_list<int> rows) {
    box->selectionModel()->clearSelection();
    for (int row : rows)
        box->selectionModel()->select(box->model()->index(row, 0), QItemSelectionModel::Select);
    box->selectionModel()->setCurrentIndex(box->model()->index(*rows.begin(), 0),
                                           QItemSelectionModel::NoUpdate);
}

std::vector<std::string> names(const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const std::string& path : paths)
        out.push_back(path.substr(path.rfind('/') + 1));
    return out;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerPictureFormats(32); }

    void firstViewIsLaidOutAsDesigned() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        QCOMPARE(f.windowTitle(), QStringLiteral("Kelvora"));
        QCOMPARE(f.frameGeometry().size(), QSize(685, 525));
        QCOMPARE(texts(f.ToolBar1->actions()),
                 (QStringList{"Susie PlugInの確認", "|", "バージョン情報", "ヘルプ", "終了"}));
        QVERIFY(!f.ToolBar1->isFloatable());
        QCOMPARE(texts(f.ToolBar2->actions()),
                 (QStringList{"大きいアイコン", "小さいアイコン", "一覧", "詳細"}));
        QCOMPARE(checks(f), (QList<bool>{true, false, false, false}));
        for (const QAction* item : f.ToolBar2->actions())
            QVERIFY(!item->icon().pixmap(20, 20).isNull());
        QCOMPARE(texts(f.PopupMenu1->actions()), QStringList{"削除"});

        QCOMPARE(f.VelShTreeView1->width(), 217);
        QCOMPARE(f.Panel2->height(), 191);
        QCOMPARE(f.Panel4->width(), 189);
        QCOMPARE(f.Panel4->frameShadow(), QFrame::Sunken);
        QCOMPARE(f.Image1->size(), f.Panel4->contentsRect().size());
        for (const QSplitter* s : {f.Splitter1, f.Splitter2, f.Splitter3})
            QCOMPARE(s->handleWidth(), 3);
        QVERIFY(f.StatusBar1->isVisible());
        QCOMPARE(f.StatusBar1->currentMessage(), QString());

        QCOMPARE(f.btnSet->text(), QStringLiteral("設定"));
        QCOMPARE(f.Button1->text(), QStringLiteral("追加"));
        QCOMPARE(f.btnCreate->text(), QStringLiteral("作成"));
        QCOMPARE(f.btnEnd->text(), QStringLiteral("終了"));
        QVERIFY(!f.Button1->isEnabled());
        QVERIFY(!f.btnCreate->isEnabled());
        QCOMPARE(f.Collected().Count(), 0);
        QVERIFY(f.Image1->picture().empty());
        QCOMPARE(f.Timer1->interval(), 100);
        QVERIFY(f.Timer1->isActive());

        // The browser as the window sets it: linked, large icons, the desktop shown.
        QCOMPARE(f.VelShTreeView1->ShListView(), f.VelShListView1);
        QCOMPARE(f.VelShTreeView1->indentation(), 19);
        QVERIFY(!f.VelShTreeView1->Checkboxes());
        // No renaming in place in the main window.
        QVERIFY(f.VelShTreeView1->ReadOnly());
        QVERIFY(f.VelShListView1->ReadOnly());
        QCOMPARE(f.VelShListView1->ViewStyle(), vsIcon);
        QCOMPARE(shownPath(*f.VelShListView1), p.world.desktop());
        QCOMPARE(f.VelShTreeView1->Selected(), f.VelShTreeView1->Root());

        // Wider and taller: the panes keep their sizes, the buttons their relative places.
        const int create = centreX(f.btnCreate), set = centreX(f.btnSet);
        f.resize(f.width() * 2, f.height() + 100);
        QTRY_COMPARE(f.Panel5->width(), f.width());
        QCOMPARE(f.VelShTreeView1->width(), 217);
        QCOMPARE(f.Panel2->height(), 191);
        QCOMPARE(f.Panel4->width(), 189);
        QVERIFY(qAbs(centreX(f.btnCreate) - 2 * create) <= 1);
        QVERIFY(qAbs(centreX(f.btnSet) - 2 * set) <= 1);
        QCOMPARE(f.btnSet->y(), f.Button1->y());
    }

    void viewItemsSetTheStyleAndTheOnlyCheckMark_data() {
        QTest::addColumn<QList<int>>("clicks"); // indices of the four items, in order
        QTest::addColumn<int>("style");
        QTest::newRow("small icons") << QList<int>{1} << int(vsSmallIcon);
        QTest::newRow("list") << QList<int>{2} << int(vsList);
        QTest::newRow("details") << QList<int>{3} << int(vsReport);
        QTest::newRow("details, then large icons") << QList<int>{3, 0} << int(vsIcon);
        QTest::newRow("the checked item again") << QList<int>{2, 2} << int(vsList);
    }
    void viewItemsSetTheStyleAndTheOnlyCheckMark() {
        QFETCH(QList<int>, clicks);
        QFETCH(int, style);
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        p.pictures();
        p.chooseFolder("写真");
        p.clickFile("a.jpg");
        const QList<QAction*> items = f.ToolBar2->actions();
        for (const int i : clicks)
            Program::clickItem(f.ToolBar2, items[i]);
        QCOMPARE(int(f.VelShListView1->ViewStyle()), style);
        QList<bool> want(4, false);
        want[style] = true;
        QCOMPARE(checks(f), want);
        // The rows and the focused row stay.
        QCOMPARE(f.VelShListView1->ItemsCount(), 5);
        QCOMPARE(f.VelShListView1->ItemFocused()->GetIndex(), rowNamed(*f.VelShListView1, "a.jpg"));
    }

    void selectingPreviewsAndDecidesWhatCanBeAdded() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        p.chooseFolder("写真");
        struct Step {
            const char* click; // a file of the list, or "+" for 追加
            int previewWidth;  // 0: no preview
            bool addEnabled;
            int listed;
        };
        const Step steps[] = {
            {"a.jpg", 64, true, 0},     {"+", 64, false, 1},
            {"memo.txt", 0, true, 1},   // no picture: no preview, but it can be added
            {"a.jpg", 64, false, 1},    // listed already
            {"sub", 0, false, 1},       // a folder adds its pictures: this one has none
            {"broken.jpg", 0, true, 1}, // a damaged picture, silently
            {"big.jpg", 400, true, 1},  // 1600 x 1200 decoded at a quarter for the preview
            {"+", 400, false, 2},
        };
        for (const Step& step : steps) {
            const bool add = std::string(step.click) == "+";
            const int decodes = f.Previews().Decodes();
            if (add)
                QTest::mouseClick(f.Button1, Qt::LeftButton);
            else
                p.clickFile(step.click);
            // A click reports two selection changes; the file is read once.
            QVERIFY2(f.Previews().Decodes() - decodes == (add ? 0 : 1), step.click);
            QCOMPARE(f.Image1->picture().width(), step.previewWidth);
            QCOMPARE(f.Button1->isEnabled(), step.addEnabled);
            QCOMPARE(f.Collected().Count(), step.listed);
        }
        QCOMPARE(f.Collected().Entries(),
                 (std::vector<std::string>{folder + "/a.jpg", folder + "/big.jpg"}));
        QCOMPARE(f.SelectedPath(), folder + "/big.jpg");
        QCOMPARE(dialogs.errors, QStringList());

        // Items without a file-system path give the empty path, which can be listed once.
        p.chooseDesktop();
        p.clickFile("ネットワーク");
        QCOMPARE(f.SelectedPath(), std::string());
        QVERIFY(f.Button1->isEnabled());
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        p.clickFile("コンピュータ");
        QVERIFY(!f.Button1->isEnabled());
        QCOMPARE(f.Collected().Entries().back(), std::string());
    }

    // The tree and the list open folders holding FIFOs, links to devices and huge side
    // files without waiting or running away; every name is shown apart from the others
    // with its odd bytes marked; what is opened, dragged or collected is the file's bytes.
    void oddFoldersAreShownAndOpenedByTheirBytes() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        TVelShListView& list = *f.VelShListView1;
        TVelShTreeView& tree = *f.VelShTreeView1;
        const std::string folder = p.oddFolder();
        // .hidden as a link to /dev/zero, and one above the limit that would hide a.txt.
        p.world.makeLink("/dev/zero", p.world.home() + "/zero/.hidden");
        p.world.makeFile(p.world.home() + "/zero/a.txt");
        p.world.makeFile(p.world.home() + "/big/.hidden",
                         "a.txt\n" + std::string(kSmallFileLimit, '#') + "\n");
        p.world.makeFile(p.world.home() + "/big/a.txt");
        {
            const Watchdog guard("browsing folders of FIFOs and devices");
            for (const char* name : {"zero", "big"}) {
                p.chooseFolder(name);
                QCOMPARE(rowNames(list), std::string(".hidden,a.txt"));
                QVERIFY(!list.Items(rowNamed(list, "a.txt"))->IsGhosted());
            }
            p.chooseFolder("odd");
            TVelShTreeNode* node = tree.FindNode(BrowserWorld::homeID({"odd"}).get());
            tree.expand(tree.IndexOf(node));
            QCOMPARE(childTexts(node), std::string("\\xFF-dir"));
            for (const char* fifo : {"y.jpg", "z.jpg"}) { // the preview tries each
                p.clickFile(fifo);
                QVERIFY(f.Image1->picture().empty());
                QVERIFY(f.Button1->isEnabled());
            }
        }
        QCOMPARE(list.ItemsCount(), 8);
        QVERIFY(!list.Items(rowNamed(list, "x.desktop"))->HasAttribute(SFGAO_LINK));

        // Names as the list shows them, in both code pages.
        const struct {
            CodePage::Kind codePage;
            const char* name;
            QString shown;
        } names[] = {
            {CodePage::Kind::Utf8, "\xFF\xFE.jpg", QStringLiteral("\\xFF\\xFE.jpg")},
            {CodePage::Kind::Utf8, "\xE3\x81.jpg", QStringLiteral("\\xE3\\x81.jpg")},
            {CodePage::Kind::Utf8, "caf\xE9.txt", QStringLiteral("caf\\xE9.txt")},
            {CodePage::Kind::Cp932, "\xFF\xFE.jpg", QStringLiteral("\\xFF\\xFE.jpg")},
            {CodePage::Kind::Cp932, "\xE3\x81.jpg", QStringLiteral("縺.jpg")},
            {CodePage::Kind::Cp932, "caf\xE9.txt", QStringLiteral("caf\\xE9.txt")},
        };
        for (const auto& n : names) {
            const CodePageGuard codePage(n.codePage);
            const int row = rowNamed(list, n.name);
            QVERIFY2(row >= 0, n.name);
            QCOMPARE(list.ShModel()->index(row, 0).data().toString(), n.shown);
        }
        QSet<QString> shown;
        for (int row = 0; row < list.ItemsCount(); ++row)
            shown.insert(list.ShModel()->index(row, 0).data().toString());
        QCOMPARE(shown.size(), list.ItemsCount());

        // Collected as they are; the list box shows them apart.
        p.collect({"\xFF\xFE.jpg", "\xE3\x81.jpg"});
        QCOMPARE(f.Collected().Entries(),
                 (std::vector<std::string>{folder + "/\xFF\xFE.jpg", folder + "/\xE3\x81.jpg"}));
        QCOMPARE(f.ListBox1->model()->index(1, 0).data().toString(),
                 toQ(folder) + QStringLiteral("/\\xE3\\x81.jpg"));

        // Opening hands xdg-open the name's bytes.
        const std::string bin = p.world.drive() + "/bin", opened = p.world.drive() + "/opened";
        p.world.makeFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"$OPENED.new\"\n"
                                            "mv \"$OPENED.new\" \"$OPENED\"\n");
        QVERIFY(::chmod((bin + "/xdg-open").c_str(), 0755) == 0);
        ScopedEnv env;
        env.set("PATH", bin + ":" + std::getenv("PATH"));
        env.set("OPENED", opened);
        list.OpenRow(rowNamed(list, "caf\xE9.txt"));
        QTRY_VERIFY(fileExists(opened));
        QCOMPARE(readFile(opened), folder + "/caf\xE9.txt");

        // A drag carries the bytes in its file list (the ID-list array holds them as IDs).
        Program::clickItem(f.ToolBar2, f.TB_Report);
        list.SelectionModel()->clearSelection();
        for (const char* name : {"\xFF\xFE.jpg", "caf\xE9.txt"})
            list.SelectionModel()->select(list.ShModel()->index(rowNamed(list, name), 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        std::unique_ptr<QMimeData> dragged;
        list.OnShBeginDrag = [&](TCustomVelShListView*, TVelShIDList& ids, const QPoint&, int, int,
                                 bool&) { dragged.reset(ids.CreateDragData()); };
        QTreeView* view = list.DetailsView();
        const QPoint at = rowPoint(list, rowNamed(list, "caf\xE9.txt"));
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
        sendMove(view->viewport(), at + QPoint(0, 2), Qt::LeftButton);
        sendMove(view->viewport(), at + QPoint(0, 12), Qt::LeftButton);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at + QPoint(0, 12));
        QVERIFY(dragged);
        std::vector<std::string> paths = ShDecodeUriList(dragged->data(kUriListMime));
        std::sort(paths.begin(), paths.end());
        QCOMPARE(paths,
                 (std::vector<std::string>{folder + "/caf\xE9.txt", folder + "/\xFF\xFE.jpg"}));
        QCOMPARE(dialogs.errors, QStringList());
    }

    // "追加" and the preview follow the rows the list shows: after another folder is
    // chosen by a click or the arrow keys, after an empty folder, after sorting.
    void addFollowsTheRowsShown() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        TVelShListView& list = *f.VelShListView1;
        TVelShTreeView& tree = *f.VelShTreeView1;
        const std::string pictures = p.pictures();
        p.world.makeDir(p.world.home() + "/empty");
        const auto chooseA = [&] {
            p.chooseFolder("写真");
            p.clickFile("a.jpg");
            QVERIFY(f.Button1->isEnabled());
            QCOMPARE(f.Image1->picture().width(), 64);
        };

        chooseA();
        p.chooseFolder("empty");
        QVERIFY(!f.Button1->isEnabled());
        QVERIFY(f.Image1->picture().empty());
        QCOMPARE(f.SelectedPath(), pictures + "/a.jpg"); // kept, as no row is focused
        p.checkFollowsTheList("an empty folder");

        chooseA();
        p.world.makeDir(p.world.home() + "/other/inner");
        p.chooseFolder("other");
        QCOMPARE(f.SelectedPath(), p.world.home() + "/other/inner");
        p.checkFollowsTheList("a folder chosen with a click");

        chooseA();
        tree.setFocus();
        QTest::keyClick(&tree, Qt::Key_Up);
        QTRY_VERIFY(shownPath(list) != pictures);
        p.checkFollowsTheList("a folder chosen with an arrow key");

        // Sorting keeps the focused file: its preview and "追加" stay.
        chooseA();
        Program::clickItem(f.ToolBar2, f.TB_Report);
        QTest::mouseClick(list.Header()->viewport(), Qt::LeftButton, {},
                          QPoint(list.Header()->sectionViewportPosition(0) + 5, 5));
        QCOMPARE(f.SelectedPath(), pictures + "/a.jpg");
        QVERIFY(f.Button1->isEnabled());
        QCOMPARE(f.Image1->picture().width(), 64);
    }

    void previewReadsAFileAgainOnlyWhenSomethingChanged() {
        TempDir dir;
        const std::string file = dir.file("p.jpg");
        saveImage(patternImage(64, 48), file, "jpg", 90);
        TImage image;
        image.resize(32, 24);
        TPreviewLoader previews(image);
        // Shows the file as a click does (twice) and waits for the worker; what failed.
        const auto show = [&](const std::string& path) {
            std::exception_ptr failure;
            for (int i = 0; i < 2; ++i)
                previews.Show(path, [&](std::exception_ptr e) { failure = e; });
            [&] { QTRY_VERIFY_WITH_TIMEOUT(!previews.Busy(), 30000); }();
            return failure;
        };
        QVERIFY(!show(file));
        QCOMPARE(image.picture().width(), 32); // decoded at half size for the control
        const struct {
            const char* change;
            std::function<void()> apply;
            int decodes; // by showing the file again
        } cases[] = {
            {"nothing", [] {}, 0},
            {"the file rewritten", [&] { saveImage(patternImage(80, 48), file, "jpg", 90); }, 1},
            {"its time set back", [&] { setModified(file, 1'000'000'000); }, 1},
            {"the control resized", [&] { image.resize(40, 30); }, 1},
            {"the control cleared elsewhere", [&] { image.clear(); }, 1},
            {"the loader cleared", [&] { previews.Clear(); }, 1},
        };
        for (const auto& c : cases) {
            c.apply();
            const int before = previews.Decodes();
            QVERIFY2(!show(file), c.change);
            QVERIFY2(previews.Decodes() - before == c.decodes, c.change);
            QVERIFY2(!image.picture().empty(), c.change);
        }
        QCOMPARE(image.picture().width(), 80);
        // A damaged file fails once and reports the same error again while unchanged.
        const std::string broken = dir.write("broken.jpg", "not a picture");
        for (int decodes : {1, 0}) {
            const int before = previews.Decodes();
            QVERIFY(show(broken));
            QCOMPARE(previews.Decodes() - before, decodes);
            QVERIFY(image.picture().empty());
        }
        // Gone from disk: read again, which fails and leaves the control empty.
        QVERIFY(!show(file));
        std::filesystem::remove(file);
        QVERIFY(show(file));
        QVERIFY(image.picture().empty());
    }

    void collectedListPreviewsDeletesAndEnablesCreate() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        p.chooseFolder("写真");
        p.collect({"a.jpg", "big.jpg"});
        QTRY_VERIFY(f.btnCreate->isEnabled());

        p.clickEntry(0);
        QCOMPARE(f.Image1->picture().width(), 64);
        // Right after adding, deleting does not change 追加, although the file is no
        // longer listed; the preview keeps its picture.
        QVERIFY(!f.Button1->isEnabled());
        p.clickEntry(1);
        QCOMPARE(f.Image1->picture().width(), 400);
        f.TB_List_Delete->trigger();
        QCOMPARE(f.Collected().Entries(), std::vector<std::string>{folder + "/a.jpg"});
        QVERIFY(!f.Button1->isEnabled());
        QCOMPARE(f.Image1->picture().width(), 400);
        // Nothing is selected now: 削除 does nothing.
        f.TB_List_Delete->trigger();
        QCOMPARE(f.Collected().Count(), 1);
        // The popup offers 削除 over the list.
        emit f.ListBox1->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(f.PopupMenu1->isVisible());
        f.PopupMenu1->close();

        // A listed file deleted on disk: clicking it tells why, the preview stays empty.
        p.clickFile("memo.txt");
        p.clickFile("big.jpg");
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        BrowserWorld::removeAll(folder + "/big.jpg");
        p.clickEntry(1);
        QCOMPARE(dialogs.errors,
                 QStringList{QStringLiteral("ファイル %1/big.jpg は開けません").arg(toQ(folder))});
        QVERIFY(f.Image1->picture().empty());

        // The last entry gone, 作成 follows.
        for (int i = 0; i < 2; ++i) {
            p.clickEntry(0);
            f.TB_List_Delete->trigger();
        }
        QCOMPARE(f.Collected().Count(), 0);
        QTRY_VERIFY(!f.btnCreate->isEnabled());
    }

    void createHandsTheListOverAndTheWindowComesBack() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        p.chooseFolder("写真");
        p.collect({"big.jpg", "a.jpg"});
        QTRY_VERIFY(f.btnCreate->isEnabled());

        // Cancelled: nothing changes.
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        QCOMPARE(dialogs.saveOffers, QStringList{"HTMLファイル(*.html)|*.html|*.html|"});
        QVERIFY(f.isVisible());
        QVERIFY(!p.form3->isVisible());

        new QTreeWidgetItem(p.form4.ListView1, {QStringLiteral("/old.jpg"), QStringLiteral("old")});
        const std::string page = p.world.drive() + "/site/アルバム.html";
        dialogs.saveAnswer = QString::fromStdString(page);
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        QVERIFY(p.form3->isVisible());
        QVERIFY(!f.isVisible());
        QCOMPARE(p.form3->HTMLFileName, page);
        QCOMPARE(p.form3->lblHTMLFileName->text(), QString::fromStdString(page));
        QCOMPARE(p.form3->SourceFiles.items(),
                 (std::vector<std::string>{folder + "/big.jpg", folder + "/a.jpg"}));
        QCOMPARE(p.form4.ListView1->topLevelItemCount(), 0);

        QTest::mouseClick(p.form3->Button1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!p.form3->running(), 60000);
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("完了しました")});
        QVERIFY(fileExists(page));
        QCOMPARE(QImage(QString::fromStdString(p.world.drive() + "/site/large/L0.jpg")).size(),
                 QSize(800, 600));

        QTest::mouseClick(p.form3->Button4, Qt::LeftButton); // 戻る
        QVERIFY(!p.form3->isVisible());
        QVERIFY(f.isVisible());
        QCOMPARE(f.Collected().Entries(),
                 (std::vector<std::string>{folder + "/big.jpg", folder + "/a.jpg"}));
        QCOMPARE(f.Image1->picture().width(), 64);
        QVERIFY(f.btnCreate->isEnabled());

        // The save dialog offers the name chosen last.
        dialogs.saveAnswer.clear();
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        QCOMPARE(dialogs.saveOffers.last(), QStringLiteral("HTMLファイル(*.html)|*.html|*.html|") +
                                                QString::fromStdString(page));
    }

    void closingAsksFirst_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("answer");
        for (const char* how : {"button", "toolbar item", "window manager"}) {
            QTest::addRow("%s, yes", how) << QString::fromLatin1(how) << true;
            QTest::addRow("%s, no", how) << QString::fromLatin1(how) << false;
        }
    }
    void closingAsksFirst() {
        QFETCH(QString, how);
        QFETCH(bool, answer);
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        f.AddFile("/p/a.jpg");
        p.form2->show(); // another window open does not keep the program going
        QSignalSpy last(qApp, &QGuiApplication::lastWindowClosed);
        dialogs.yesNoAnswers = {answer};
        // The program's own loop runs: it ends when the window closes, else a timer ends it.
        QTimer::singleShot(0, &f, [&] {
            if (how == QLatin1String("button")) // 終了
                QTest::mouseClick(f.btnEnd, Qt::LeftButton);
            else if (how == QLatin1String("toolbar item"))
                Program::clickItem(f.ToolBar1, f.TB_End);
            else
                f.close();
        });
        QTimer stop;
        stop.setSingleShot(true);
        connect(&stop, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        stop.start(answer ? 20000 : 300);
        QCOMPARE(QApplication::exec(), answer ? 0 : 1);
        QCOMPARE(dialogs.questions, QStringList{"確認|終了します。よろしいですか？"});
        QCOMPARE(f.isVisible(), !answer);
        QCOMPARE(last.count(), answer ? 1 : 0);
        QCOMPARE(f.Collected().Entries(), std::vector<std::string>{"/p/a.jpg"});
    }

    void closingQuestionAndSaveDialogAreQtsOwn() {
        TQtDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        // Escape answers No; the window stays.
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
        whenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (const QAbstractButton* b : box->buttons())
                buttons << b->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        f.close();
        QVERIFY(f.isVisible());
        QCOMPARE(caption, QStringLiteral("確認"));
        QCOMPARE(text, QStringLiteral("終了します。よろしいですか？"));
        QCOMPARE(icon, QMessageBox::Question);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"いいえ(&N)", "はい(&Y)"}));

        // The save dialog: the filter, ".html" added to a name typed without it, and
        // the last name offered again.
        const QString folder = QString::fromStdString(p.world.drive());
        QStringList filters;
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            filters = dialog->nameFilters();
            dialog->setDirectory(folder);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("アルバム"));
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        });
        QVERIFY(f.SaveDialog1.Execute(dialogs, &f));
        QCOMPARE(filters, QStringList{"HTMLファイル(*.html)"});
        QCOMPARE(f.SaveDialog1.FileName, folder + "/アルバム.html");
        QStringList offered;
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            offered = dialog->selectedFiles();
            dialog->reject();
        });
        QVERIFY(!f.SaveDialog1.Execute(dialogs, &f));
        QCOMPARE(offered, QStringList{folder + "/アルバム.html"});
        QCOMPARE(f.SaveDialog1.FileName, folder + "/アルバム.html");
    }

    void commandsShowTheirWindows() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        Program::clickItem(f.ToolBar1, f.TB_Susie);
        QVERIFY(p.form2->isVisible());
        QCOMPARE(p.form2->ListView1->topLevelItemCount(), f.SPIs1->Count());
        Program::clickItem(f.ToolBar1, f.TB_Help); // no action
        QVERIFY(f.isEnabled());
        Program::clickItem(f.ToolBar1, f.TB_Version);
        QVERIFY(p.frmVersion->isVisible());
        QVERIFY(!f.isEnabled());
        p.frmVersion->close();
        QVERIFY(f.isEnabled());
        QTest::mouseClick(f.btnSet, Qt::LeftButton);
        QVERIFY(p.frmOption->isVisible());
        QVERIFY(!f.isEnabled());
        f.close(); // a disabled main window does not close
        QVERIFY(f.isVisible());
        QVERIFY(dialogs.questions.isEmpty());
        dialogs.yesNoAnswers = {true};
        QTest::mouseClick(p.frmOption->Button1, Qt::LeftButton); // 取り消し
        QVERIFY(!p.frmOption->isVisible());
        QVERIFY(f.isEnabled());
    }
    // The handle between the browser and the collection pane, and the one between the
    // list and the preview, dragged up and left: the preview grows with them.
    void lowerAreaAndPreviewGrowWithTheirSplitters() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QSize before = f.Image1->size();
        const auto drag = [](QSplitter* splitter, QPoint by) {
            QSplitterHandle* handle = splitter->handle(1);
            const QPoint from = handle->rect().center();
            const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
                QMouseEvent event(type, at, handle->mapToGlobal(at), Qt::LeftButton, buttons,
                                  Qt::NoModifier);
                QApplication::sendEvent(handle, &event);
            };
            send(QEvent::MouseButtonPress, from, Qt::LeftButton);
            send(QEvent::MouseMove, from + by, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, from + by, Qt::NoButton);
        };
        drag(f.Splitter2, QPoint(0, -120));
        drag(f.Splitter3, QPoint(-100, 0));
        // Give or take the pixel the handle is grabbed by.
        const QSize grown = f.Image1->size() - before;
        QVERIFY2(std::abs(grown.width() - 100) <= 2 && std::abs(grown.height() - 120) <= 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(grown.width()).arg(grown.height())));
    }

    // Ctrl+1 ... Ctrl+4 choose the view styles; Tab from the tree reaches the toolbars.
    void keyboardChoosesViewStylesAndReachesTheToolbars() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.VelShTreeView1->setFocus();
        const struct {
            Qt::Key key;
            int style;
        } keys[] = {{Qt::Key_4, vsReport},
                    {Qt::Key_2, vsSmallIcon},
                    {Qt::Key_3, vsList},
                    {Qt::Key_1, vsIcon}};
        for (const auto& k : keys) {
            QTest::keyClick(f.VelShTreeView1, k.key, Qt::ControlModifier);
            QCOMPARE(int(f.VelShListView1->ViewStyle()), k.style);
            QList<bool> want(4, false);
            want[k.style] = true;
            QCOMPARE(checks(f), want);
        }
        QWidget* reached = nullptr;
        for (int i = 0; i < 30 && !reached; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus &&
                (focus->parentWidget() == f.ToolBar1 || focus->parentWidget() == f.ToolBar2))
                reached = focus;
        }
        QVERIFY(reached);
        QVERIFY(qobject_cast<QToolButton*>(reached));
    }

    // The large icons show the pictures' thumbnails from the shared cache in the
    // home's cache folder, stored there for other programs; an unreadable picture
    // gets a fail entry and keeps its type icon.
    void largeIconsShowThumbnailsFromTheSharedCache() {
        FakeDialogs dialogs;
        Program p(dialogs);
        p.pictures();
        p.chooseFolder("写真");
        TVelShListView& list = *p.form1->VelShListView1;
        const TShListThumbnails& thumbnails = *list.Thumbnails();
        const std::string root = p.world.home() + "/.cache/thumbnails";
        const std::string folder = p.world.home() + "/写真/";
        const struct {
            const char* name;
            bool thumbnail;
            const char* cacheFile;
        } rows[] = {{"a.jpg", true, "/normal/"},
                    {"big.jpg", true, "/normal/"},
                    {"broken.jpg", false, "/fail/kelvora-" KELVORA_VERSION "/"},
                    {"memo.txt", false, nullptr}};
        for (const auto& r : rows) {
            const int row = rowNamed(list, r.name);
            QVERIFY2(row >= 0, r.name);
            QTRY_VERIFY2(!thumbnails.Waits(row), r.name);
            QCOMPARE(thumbnails.HasThumbnail(row), r.thumbnail);
            if (r.cacheFile) {
                const std::string stored =
                    root + r.cacheFile + ThumbnailFileName(ThumbnailUri(folder + r.name));
                QTRY_VERIFY2(fileExists(stored), stored.c_str());
                struct stat st {};
                QCOMPARE(::stat(stored.c_str(), &st), 0);
                QCOMPARE(st.st_mode & 07777, mode_t(0600));
            }
        }
    }

    // "ヘルプ" opens the user guide installed with the program, and says so when the
    // desktop cannot open it.
    void helpOpensTheUserGuide() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        f.SetShellOpener(p.opener);
        f.TB_Help->trigger();
        QCOMPARE(p.opener.opened, std::vector<std::string>{HelpFilePath()});
        QVERIFY(readFile(HelpFilePath()).find("<meta charset=\"UTF-8\">") != std::string::npos);
        TXdgOpener failing("false");
        f.SetShellOpener(failing);
        f.TB_Help->trigger();
        QVERIFY(dialogs.errors.isEmpty()); // not waited for
        QTRY_COMPARE(dialogs.errors, QStringList{QStringLiteral("HTMLファイルを開けませんでした")});
    }

    // Several rows, or a folder, add the pictures among them in the list's order; one
    // file alone is added whatever it is.
    void severalRowsAndFoldersAddTheirPictures() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        saveImage(patternImage(20, 10), folder + "/sub/c.jpg", "jpg", 90);
        p.world.makeFile(folder + "/sub/.dot.jpg", "x");
        p.world.makeFile(folder + "/sub/hid.jpg", "x");
        p.world.makeFile(folder + "/sub/.hidden", "hid.jpg\n");
        p.world.makeFile(folder + "/sub/z.txt", "x");
        p.world.makeDir(folder + "/sub/deeper");
        p.world.makeFile(folder + "/sub/deeper/d.jpg", "x");
        p.chooseFolder("写真");
        p.collect({"big.jpg"});
        QVERIFY(!f.Button1->isEnabled());

        f.VelShListView1->SelectAll();
        QVERIFY(f.Button1->isEnabled());
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QVERIFY(!f.Button1->isEnabled());
        // In the file list's order: its folders before its files, each by name.
        std::vector<std::string> want = {"big.jpg"};
        for (const std::string& path : f.SelectedPaths()) {
            if (path == folder + "/sub")
                want.push_back("c.jpg");
            else if (path.size() > 4 && path.compare(path.size() - 4, 4, ".jpg") == 0 &&
                     path != folder + "/big.jpg")
                want.push_back(names({path}).front());
        }
        QCOMPARE(want.size(), std::size_t(4)); // a.jpg, broken.jpg (a picture by its name), c.jpg
        QCOMPARE(names(f.Collected().Entries()), want);
        // Nothing more to add from the same selection.
        f.VelShListView1->SelectAll();
        QVERIFY(!f.Button1->isEnabled());

        // One file alone: the focused row, even what is no picture.
        p.clickFile("memo.txt");
        QVERIFY(f.Button1->isEnabled());
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QCOMPARE(f.Collected().Entries().back(), folder + "/memo.txt");
        QCOMPARE(dialogs.errors, QStringList());
    }

    // Files dropped from another program or from the file list join where they are
    // dropped, as copies; the list's own entries are moved by dragging and with
    // Ctrl+Up / Ctrl+Down; Delete takes every selected entry.
    void collectedListTakesDropsAndIsReordered() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        QListView* box = f.ListBox1;
        const std::string folder = p.pictures();
        const std::string drops = p.world.home() + "/drops";
        p.world.makeFile(drops + "/x y.jpg", "x");
        p.world.makeFile(drops + "/more/m2.jpg", "x");
        p.world.makeFile(drops + "/more/m1.jpg", "x");
        p.world.makeFile(drops + "/more/note.txt", "x");
        p.chooseFolder("写真");
        p.collect({"a.jpg", "big.jpg"});

        // From another program: file URLs percent-decoded, others ignored, folders by
        // their pictures, what is listed skipped.
        QMimeData other;
        other.setData("text/uri-list",
                      QByteArray::fromStdString("# a comment\r\nfile://" + drops +
                                                "/x%20y.jpg\r\nhttp://example.com/h.jpg\r\n"
                                                "file://elsewhere" +
                                                drops +
                                                "/more\r\n"
                                                "file://" +
                                                drops +
                                                "/more\r\n"
                                                "file://" +
                                                folder + "/a.jpg\r\n"));
        // A source that can only move would delete its files: refused.
        QCOMPARE(dropOn(box, other, above(box, 1), Qt::MoveAction), Qt::IgnoreAction);
        QCOMPARE(f.Collected().Count(), 2);
        QCOMPARE(
            dropOn(box, other, above(box, 1), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction),
            Qt::CopyAction);
        QCOMPARE(
            f.Collected().Entries(),
            (std::vector<std::string>{folder + "/a.jpg", drops + "/x y.jpg", drops + "/more/m1.jpg",
                                      drops + "/more/m2.jpg", folder + "/big.jpg"}));
        QCOMPARE(dropOn(box, other, above(box, 0), Qt::LinkAction), Qt::LinkAction); // all listed
        QCOMPARE(f.Collected().Count(), 5);

        // From the file list, as its own drag carries it, below the last entry.
        TVelShListView& list = *f.VelShListView1;
        Program::clickItem(f.ToolBar2, f.TB_Report);
        list.SelectionModel()->clearSelection();
        for (const char* name : {"broken.jpg", "memo.txt"})
            list.SelectionModel()->select(list.ShModel()->index(rowNamed(list, name), 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        std::unique_ptr<QMimeData> dragged;
        Qt::DropActions offered;
        list.OnShBeginDrag = [&](TCustomVelShListView*, TVelShIDList& ids, const QPoint&, int, int,
                                 bool& canDrag) {
            dragged.reset(ids.CreateDragData());
            offered = ShDragActions(ids);
            canDrag = false;
        };
        QTreeView* view = list.DetailsView();
        const QPoint at = rowPoint(list, rowNamed(list, "memo.txt"));
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
        sendMove(view->viewport(), at + QPoint(0, 2), Qt::LeftButton);
        sendMove(view->viewport(), at + QPoint(0, 12), Qt::LeftButton);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at + QPoint(0, 12));
        QVERIFY(dragged);
        QVERIFY(offered & Qt::MoveAction); // the file list would move, were it taken so
        const QPoint end =
            above(box, 4) + QPoint(0, 3 * box->visualRect(box->model()->index(4, 0)).height());
        QCOMPARE(dropOn(box, *dragged, end, offered), Qt::CopyAction);
        QCOMPARE(names(f.Collected().Entries()),
                 (std::vector<std::string>{"a.jpg", "x y.jpg", "m1.jpg", "m2.jpg", "big.jpg",
                                           "broken.jpg"}));
        QVERIFY(fileExists(folder + "/broken.jpg"));
        QCOMPARE(dialogs.errors, QStringList()); // a drop previews nothing

        // Keys: the selected entries a step, the selection with them, blocked at the ends.
        box->setFocus();
        selectEntries(box, {0, 2});
        QTest::keyClick(box, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(names(f.Collected().Entries()),
                 (std::vector<std::string>{"x y.jpg", "a.jpg", "m2.jpg", "m1.jpg", "big.jpg",
                                           "broken.jpg"}));
        QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(names(f.Collected().Entries()),
                 (std::vector<std::string>{"a.jpg", "m1.jpg", "x y.jpg", "m2.jpg", "big.jpg",
                                           "broken.jpg"}));
        QCOMPARE(f.ListBox1->SelectedRows(), (std::vector<int>{0, 1}));

        // A drag inside the list moves the selected entries to where they are dropped.
        std::unique_ptr<QMimeData> rows(
            box->model()->mimeData(box->selectionModel()->selectedIndexes()));
        QCOMPARE(dropOn(box, *rows, above(box, 5), Qt::MoveAction), Qt::MoveAction);
        QCOMPARE(names(f.Collected().Entries()),
                 (std::vector<std::string>{"x y.jpg", "m2.jpg", "big.jpg", "a.jpg", "m1.jpg",
                                           "broken.jpg"}));
        QCOMPARE(f.ListBox1->SelectedRows(), (std::vector<int>{3, 4}));

        // Delete, and 削除, take every selected entry.
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(names(f.Collected().Entries()),
                 (std::vector<std::string>{"x y.jpg", "m2.jpg", "big.jpg", "broken.jpg"}));
        selectEntries(box, {0, 3});
        f.TB_List_Delete->trigger();
        QCOMPARE(names(f.Collected().Entries()), (std::vector<std::string>{"m2.jpg", "big.jpg"}));

        // The album follows the list's order.
        dialogs.saveAnswer = QString::fromStdString(p.world.drive() + "/site/a.html");
        QTRY_VERIFY(f.btnCreate->isEnabled());
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        QCOMPARE(p.form3->SourceFiles.items(),
                 (std::vector<std::string>{drops + "/more/m2.jpg", folder + "/big.jpg"}));
    }

    // Comments typed in the editor stay with their pictures over "戻る" and a new
    // "作成"; only the comments of pictures taken out of the list go, and the page
    // puts each comment with its picture whatever the order.
    void commentsStayWithTheirPictures() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        saveImage(patternImage(40, 30), folder + "/c.jpg", "jpg", 90);
        p.chooseFolder("写真");
        p.collect({"a.jpg", "big.jpg", "c.jpg"});
        const std::string page = p.world.drive() + "/site/album.html";
        dialogs.saveAnswer = QString::fromStdString(page);
        QTRY_VERIFY(f.btnCreate->isEnabled());
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        p.form3->btnCommentEditClick();
        const char* typed[] = {"Beach\nsecond line", "Big", "Cee"};
        for (int row = 0; row < 3; ++row) {
            p.form4.ListView1->setCurrentItem(p.form4.ListView1->topLevelItem(row));
            p.form4.ListView1Click();
            p.form4.txtComment->setPlainText(QString::fromUtf8(typed[row]));
        }
        QTest::mouseClick(p.form3->Button4, Qt::LeftButton); // 戻る
        QVERIFY(f.isVisible());
        QCOMPARE(p.form4.CommentOf(folder + "/big.jpg"), std::optional<std::string>("Big"));

        // big.jpg leaves, c.jpg goes first.
        selectEntries(f.ListBox1, {1});
        f.TB_List_Delete->trigger();
        selectEntries(f.ListBox1, {1});
        QTest::keyClick(f.ListBox1, Qt::Key_Up, Qt::ControlModifier);
        QTest::mouseClick(f.btnCreate, Qt::LeftButton);
        QTreeWidget* rows = p.form4.ListView1;
        QCOMPARE(rows->topLevelItemCount(), 2);
        QCOMPARE(TForm4::PathOf(rows->topLevelItem(0)).toStdString(), folder + "/c.jpg");
        QCOMPARE(p.form4.CommentOf(0), std::optional<std::string>("Cee"));
        QCOMPARE(p.form4.CommentOf(1), std::optional<std::string>("Beach\r\nsecond line"));
        QCOMPARE(p.form4.CommentOf(folder + "/big.jpg"), std::optional<std::string>());

        p.form3->chkComment->setChecked(true);
        QTest::mouseClick(p.form3->Button1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!p.form3->running(), 60000);
        QCOMPARE(dialogs.errors, QStringList());
        const std::string html = readFile(page);
        QVERIFY(html.find("<img src=\"Small/S0.jpg\" border=\"0\"></a>\r\n<BR>Cee\r\n") !=
                std::string::npos);
        QVERIFY(html.find("<img src=\"Small/S1.jpg\" border=\"0\"></a>\r\n<BR>Beach\r\nsecond "
                          "line\r\n") != std::string::npos);
        QVERIFY(html.find("Big") == std::string::npos);
    }

    // The window takes back the folder, view style, size and splitters it had; a folder
    // that is gone leaves the browser where it starts.
    void stateComesBack() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        p.chooseFolder("写真");
        Program::clickItem(f.ToolBar2, f.TB_List);
        f.resize(760, 580);
        QApplication::processEvents();
        f.Splitter1->setSizes({300, 400});
        f.Splitter2->setSizes({250, 200});
        f.Splitter3->setSizes({400, 250});
        const TMainWindowState kept = f.State();
        QCOMPARE(kept.folder, folder);
        QCOMPARE(kept.viewStyle, int(vsList));
        QCOMPARE(kept.size, QSize(760, 580));

        // Elsewhere, in another style and size.
        p.chooseDesktop();
        Program::clickItem(f.ToolBar2, f.TB_Icon);
        f.resize(685, 525);
        QApplication::processEvents();
        TMainWindowState gone = kept;
        gone.folder = folder + "/gone";
        gone.viewStyle = -1;
        f.ApplyState(gone);
        QCOMPARE(shownPath(*f.VelShListView1), p.world.desktop());

        f.ApplyState(kept);
        QApplication::processEvents();
        QTRY_COMPARE(shownPath(*f.VelShListView1), folder);
        QCOMPARE(checks(f), (QList<bool>{false, false, true, false}));
        const TMainWindowState back = f.State();
        QCOMPARE(back.size, kept.size);
        QCOMPARE(back.browserSplit, kept.browserSplit);
        QCOMPARE(back.paneSplit, kept.paneSplit);
        QCOMPARE(back.previewSplit, kept.previewSplit);

        // A size kept from a larger screen fits on this one.
        TMainWindowState huge;
        huge.size = QSize(20000, 20000);
        f.ApplyState(huge);
        QVERIFY(f.size().width() <= f.screen()->availableGeometry().width());

        // The page options come back too.
        TAlbumPageOptions options;
        options.title = "夏";
        options.columns = 5;
        options.frame = true;
        options.frameColor = 0x0000FF;
        options.commentsAbove = true;
        p.form3->SetPageOptions(options);
        QCOMPARE(FormatSessionState({{}, p.form3->PageOptions()}),
                 FormatSessionState({{}, options}));
    }

    // At start, the kept state is given before the window is first shown.
    void stateIsTakenBeforeTheWindowShows() {
        FakeDialogs dialogs;
        Program next(dialogs, [](Program& q) {
            TMainWindowState state;
            state.folder = q.pictures();
            state.viewStyle = vsReport;
            state.size = QSize(800, 600);
            state.paneSplit = {300, 230};
            q.form1->ApplyState(state);
        });
        QTRY_COMPARE(shownPath(*next.form1->VelShListView1), next.world.home() + "/写真");
        QCOMPARE(next.form1->size(), QSize(800, 600));
        // The kept collection pane, not the design's 191 pixels (scaled to the room there is).
        QVERIFY(next.form1->Splitter2->sizes().at(1) > 205);
        QCOMPARE(checks(*next.form1), (QList<bool>{false, false, false, true}));
    }

    // `kelvora FOLDER FILE`: the browser opens at the folder, the file joins the list.
    void commandLineOpensAFolderAndCollectsFiles() {
        FakeDialogs dialogs;
        Program p(dialogs);
        TForm1& f = *p.form1;
        const std::string folder = p.pictures();
        TakeCommandLine(f, {folder + "/a.jpg", folder + "/sub/", p.world.home() + "/missing", ""});
        QTRY_COMPARE(shownPath(*f.VelShListView1), folder + "/sub");
        QCOMPARE(f.Collected().Entries(), std::vector<std::string>{folder + "/a.jpg"});
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"

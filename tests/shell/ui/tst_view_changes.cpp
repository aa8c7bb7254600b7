// What the user changes through the folder tree and the file list (drops and
// label editing), drives that come and go, the folders watched first, and a
// drive that never answers.
#include "tests/shell/ui/tst_views.h"

#include "shell/items/drive_ready.h"
#include "shell/notify/notify_thread.h"
#include "shell/ops/mount_monitor.h"
#include "shell/shell_texts.h"
#include "tests/shell/hung_mount.h"
#include "tests/shell/slow_mount.h"
#include "tests/shell/views_support.h"
#include "tests/support/fake_dialogs.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QThreadPool>

using namespace kelvora;
using namespace kelvora::test;

Q_DECLARE_METATYPE(kelvora::TShConflictAnswer::Choice)

namespace {

// The controls with their questions and messages answered by the test.
struct AnsweredBrowser {
    explicit AnsweredBrowser(const BrowserWorld& world) : b(world) {
        b.tree.SetOperationUi(&ui);
        b.list.SetOperationUi(&ui);
        b.tree.SetDialogs(dialogs);
        b.list.SetDialogs(dialogs);
    }
    ScriptedUser ui;
    FakeDialogs dialogs;
    Browser b;
};

// The names in a folder, hidden ones too (a half-copied file would show here).
QStringList namesIn(const std::string& folder) {
    return QDir(toQ(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// The label editor a view has open, or null.
QLineEdit* openEditor(QAbstractItemView* view) {
    for (QLineEdit* editor : view->findChildren<QLineEdit*>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

// Types a name into the open editor and ends the edit with Return.
void typeName(QAbstractItemView* view, const QString& name) {
    QLineEdit* editor = openEditor(view);
    QVERIFY(editor);
    editor->setText(name);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!openEditor(view)); // the edit ends in the event loop
}

} // namespace

void ViewChangesTest::init() {
    liveIDs_ = BrowserWorld::liveIDs();
}

void ViewChangesTest::cleanup() {
    QCOMPARE(BrowserWorld::liveIDs(), liveIDs_);
}

void ViewChangesTest::dropsGoWhereThePointerIs_data() {
    QTest::addColumn<QString>("control");     // "tree" or a folder below home the list shows
    QTest::addColumn<QString>("target");      // a node or row; "" the list's background
    QTest::addColumn<QStringList>("sources"); // below home
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("rowHighlighted");
    QTest::addColumn<QStringList>("after"); // "path=content" below home
    QTest::addColumn<QStringList>("gone");
    const int none = Qt::NoModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const int move = Qt::MoveAction, copy = Qt::CopyAction, ignore = Qt::IgnoreAction;
    QTest::newRow("tree: a folder takes a move on its file system")
        << "tree"
        << "albums" << QStringList{"pics/a.jpg"} << none << move << true
        << QStringList{"albums/a.jpg=A"} << QStringList{"pics/a.jpg"};
    QTest::newRow("tree: Ctrl copies")
        << "tree"
        << "albums" << QStringList{"pics/a.jpg"} << ctrl << copy << true
        << QStringList{"albums/a.jpg=A", "pics/a.jpg=A"} << QStringList{};
    QTest::newRow("tree: the trash takes by moving")
        << "tree"
        << "ごみ箱" << QStringList{"pics/b.jpg"} << ctrl << move << true
        << QStringList{".local/share/Trash/files/b.jpg=B"} << QStringList{"pics/b.jpg"};
    QTest::newRow("tree: a folder onto itself")
        << "tree"
        << "pics" << QStringList{"pics"} << none << ignore << true << QStringList{"pics/a.jpg=A"}
        << QStringList{};
    QTest::newRow("tree: into the folder it is in")
        << "tree"
        << "pics" << QStringList{"pics/a.jpg"} << none << ignore << true
        << QStringList{"pics/a.jpg=A"} << QStringList{};
    QTest::newRow("list: a folder row, Shift moves")
        << ""
        << "albums" << QStringList{"pics/a.jpg"} << shift << move << true
        << QStringList{"albums/a.jpg=A"} << QStringList{"pics/a.jpg"};
    QTest::newRow("list: the background is the shown folder")
        << "albums"
        << "" << QStringList{"pics/a.jpg", "pics/sub"} << ctrl << copy << false
        << QStringList{"albums/a.jpg=A", "albums/sub/c.txt=C", "pics/a.jpg=A"} << QStringList{};
    QTest::newRow("list: a file row is no target, its folder is")
        << "albums"
        << "note.txt" << QStringList{"pics/b.jpg"} << ctrl << copy << false
        << QStringList{"albums/b.jpg=B", "albums/note.txt=N"} << QStringList{};
    QTest::newRow("list: a dragged row is no target")
        << ""
        << "pics" << QStringList{"pics"} << none << ignore << false << QStringList{"pics/a.jpg=A"}
        << QStringList{};
}

void ViewChangesTest::dropsGoWhereThePointerIs() {
    QFETCH(QString, control);
    QFETCH(QString, target);
    QFETCH(QStringList, sources);
    QFETCH(int, keys);
    QFETCH(int, action);
    QFETCH(bool, rowHighlighted);
    QFETCH(QStringList, after);
    QFETCH(QStringList, gone);
    BrowserWorld world;
    const std::string home = world.home() + "/";
    world.makeFile(home + "pics/a.jpg", "A");
    world.makeFile(home + "pics/b.jpg", "B");
    world.makeFile(home + "pics/sub/c.txt", "C");
    world.makeFile(home + "albums/note.txt", "N");
    AnsweredBrowser a(world);
    Browser& b = a.b;
    std::vector<std::string> paths;
    for (const QString& s : sources)
        paths.push_back(home + fromQ(s));
    const auto data = filesData(paths);
    const auto modifiers = Qt::KeyboardModifiers(keys);

    QWidget* viewport = nullptr;
    QPoint at;
    QObject* sender = nullptr;
    if (control == QLatin1String("tree")) {
        b.tree.expand(b.tree.IndexOf(homeNode(b.tree)));
        TVelShTreeNode* node = childNamed(homeNode(b.tree), fromQ(target));
        if (!node)
            node = childNamed(b.tree.Root(), fromQ(target));
        QVERIFY(node);
        viewport = b.tree.viewport();
        at = nodePoint(b.tree, node);
        QCOMPARE(int(dragOver(viewport, at, data.get(), modifiers)), action);
        QCOMPARE(b.tree.Highlighted(), QModelIndex(b.tree.IndexOf(node)));
        QCOMPARE(b.tree.MouseState(), TShMouseState::Dragging);
        sender = &b.tree;
    } else {
        TIDListPtr shown =
            control.isEmpty() ? BrowserWorld::homeID() : BrowserWorld::homeID({fromQ(control)});
        b.list.SetFolder(shown.get());
        viewport = b.list.ActiveView()->viewport();
        const int row = target.isEmpty() ? -1 : rowNamed(b.list, fromQ(target));
        at = row >= 0 ? rowPoint(b.list, row) : viewport->rect().bottomRight() - QPoint(8, 8);
        QCOMPARE(int(dragOver(viewport, at, data.get(), modifiers)), action);
        QCOMPARE(b.list.ShModel()->DropRow(), rowHighlighted ? row : -1);
        sender = &b.list;
    }
    QSignalSpy finished(sender, SIGNAL(OnShOperationFinished(kelvora::TShOperationResult)));
    QCOMPARE(int(dropAt(viewport, at, data.get(), modifiers)), action);
    // The drop is over: nothing is highlighted any more.
    QVERIFY(!b.tree.Highlighted().isValid());
    QCOMPARE(b.tree.MouseState(), TShMouseState::Idle);
    QCOMPARE(b.list.ShModel()->DropRow(), -1);
    if (action == Qt::IgnoreAction) {
        QCOMPARE(a.ui.started, 0);
    } else {
        QCOMPARE(a.ui.started, 1);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kNotifyWaitMs);
    }
    for (const QString& entry : after) {
        const QStringList parts = entry.split(QLatin1Char('='));
        QCOMPARE(readFile(home + fromQ(parts[0])), fromQ(parts[1]));
    }
    for (const QString& path : gone)
        QVERIFY2(!fileExists(home + fromQ(path)), qPrintable(path));
    // A list that shows the folder that took the items shows them by now.
    if (control == QLatin1String("albums")) {
        for (const QString& entry : after) {
            const QString path = entry.section(QLatin1Char('='), 0, 0);
            if (path.startsWith(QLatin1String("albums/")) && path.count(QLatin1Char('/')) == 1)
                QVERIFY2(rowNamed(b.list, fromQ(path.mid(7))) >= 0, qPrintable(path));
        }
    }
}

void ViewChangesTest::aTakenNameIsAskedAndNothingIsLost_data() {
    QTest::addColumn<TShConflictAnswer::Choice>("choice");
    QTest::addColumn<QStringList>("albums"); // "name=content", every name the folder holds
    QTest::newRow("skip") << TShConflictAnswer::Skip << QStringList{"a.jpg=OLD"};
    QTest::newRow("keep both") << TShConflictAnswer::RenameWithNumber
                               << QStringList{"a (2).jpg=NEW", "a.jpg=OLD"};
    QTest::newRow("overwrite, as asked")
        << TShConflictAnswer::Overwrite << QStringList{"a.jpg=NEW"};
    QTest::newRow("cancel") << TShConflictAnswer::Cancel << QStringList{"a.jpg=OLD"};
}

void ViewChangesTest::aTakenNameIsAskedAndNothingIsLost() {
    QFETCH(TShConflictAnswer::Choice, choice);
    QFETCH(QStringList, albums);
    BrowserWorld world;
    const std::string pics = world.makeDir(world.home() + "/pics");
    const std::string folder = world.makeDir(world.home() + "/albums");
    world.makeFile(pics + "/a.jpg", "NEW");
    world.makeFile(folder + "/a.jpg", "OLD");
    AnsweredBrowser a(world);
    Browser& b = a.b;
    a.ui.answers.push_back({choice, false});
    b.tree.expand(b.tree.IndexOf(homeNode(b.tree)));
    const QPoint at = nodePoint(b.tree, childNamed(homeNode(b.tree), "albums"));
    const auto data = filesData({pics + "/a.jpg"});
    QSignalSpy finished(&b.tree, &TCustomVelShTreeView::OnShOperationFinished);

    QCOMPARE(dragOver(b.tree.viewport(), at, data.get(), Qt::ControlModifier), Qt::CopyAction);
    QCOMPARE(dropAt(b.tree.viewport(), at, data.get(), Qt::ControlModifier), Qt::CopyAction);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kNotifyWaitMs);

    QCOMPARE(int(a.ui.asked.size()), 1);
    QCOMPARE(a.ui.asked[0].target, folder + "/a.jpg");
    QStringList held;
    for (const QString& name : namesIn(folder))
        held << name + QLatin1Char('=') + toQ(readFile(folder + "/" + fromQ(name)));
    QCOMPARE(held, albums);
    QCOMPARE(readFile(pics + "/a.jpg"), std::string("NEW"));
}

void ViewChangesTest::dragEventsCanRefuseAndTakeOver() {
    BrowserWorld world;
    world.makeFile(world.home() + "/pics/a.jpg", "A");
    world.makeDir(world.home() + "/albums/old");
    for (int i = 0; i < 80; ++i)
        world.makeFile(world.home() + "/many/file" + std::to_string(i) + ".txt");
    AnsweredBrowser a(world);
    Browser& b = a.b;
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* albums = childNamed(home, "albums");
    const QPoint at = nodePoint(b.tree, albums);
    const auto files = filesData({world.home() + "/pics/a.jpg"});
    QWidget* viewport = b.tree.viewport();

    // Drops turned off, and data that holds no shell items.
    b.tree.SetAcceptsDrops(false);
    QCOMPARE(dragOver(viewport, at, files.get()), Qt::IgnoreAction);
    b.tree.SetAcceptsDrops(true);
    QMimeData text;
    text.setText(QStringLiteral("a.jpg"));
    QCOMPARE(dragOver(viewport, at, &text), Qt::IgnoreAction);
    b.list.SetAcceptsDrops(false);
    QCOMPARE(dragOver(b.list.ActiveView()->viewport(), QPoint(5, 5), files.get()),
             Qt::IgnoreAction);

    // The events see the drag; an enter may be refused.
    std::vector<std::string> over;
    int left = 0;
    b.tree.OnShDragEnter = [&](TCustomVelShTreeView*, TVelShDragObject& drag, Qt::KeyboardModifiers,
                               const QPoint&, bool& accept) { accept = drag.ItemCount() == 1; };
    b.tree.OnShDragOver = [&](TCustomVelShTreeView*, TVelShDragObject&, TVelShTreeNode* node,
                              Qt::KeyboardModifiers, int, int) { over.push_back(textOf(node)); };
    b.tree.OnShDragLeave = [&](TCustomVelShTreeView*) { ++left; };
    const auto two = filesData({world.home() + "/pics/a.jpg", world.home() + "/albums/old"});
    QCOMPARE(dragOver(viewport, at, two.get()), Qt::IgnoreAction);
    QCOMPARE(b.tree.MouseState(), TShMouseState::Idle);
    QCOMPARE(dragOver(viewport, at, files.get()), Qt::MoveAction);
    QCOMPARE(over.back(), std::string("albums"));
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
    QCOMPARE(left, 1);
    QVERIFY(!b.tree.Highlighted().isValid());
    QCOMPARE(b.tree.MouseState(), TShMouseState::Idle);

    // A closed branch opens after the drag has hovered over it long enough.
    QVERIFY(!b.tree.isExpanded(b.tree.IndexOf(albums)));
    dragOver(viewport, at, files.get());
    for (int i = 0; i < TCustomVelShTreeView::kHoverExpandMoves; ++i) {
        QDragMoveEvent move(at, kAllDropActions, files.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(albums)));
    QCOMPARE(childTexts(albums), std::string("old"));

    // The drop event may take the drop over: nothing is started then.
    b.tree.OnShDragDrop = [&](TCustomVelShTreeView*, TVelShDragObject&, TVelShTreeNode*,
                              Qt::KeyboardModifiers, int, int,
                              bool& defaultAction) { defaultAction = false; };
    dropAt(viewport, at, files.get());
    QCOMPARE(a.ui.started, 0);
    QCOMPARE(readFile(world.home() + "/pics/a.jpg"), std::string("A"));

    // Dragged near the bottom of a long list, the list scrolls.
    b.list.SetAcceptsDrops(true);
    b.list.SetViewStyle(vsReport);
    TIDListPtr many = BrowserWorld::homeID({"many"});
    b.list.SetFolder(many.get());
    QScrollBar* bar = b.list.DetailsView()->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    QWidget* listViewport = b.list.DetailsView()->viewport();
    dragOver(listViewport, QPoint(20, listViewport->height() - 2), files.get());
    QVERIFY(bar->value() > 0);
    QDragLeaveEvent leaveList;
    QApplication::sendEvent(listViewport, &leaveList);
}

void ViewChangesTest::labelsAreEditedInPlace() {
    BrowserWorld world;
    world.makeDir(world.home() + "/Music/jazz/live");
    world.makeDir(world.home() + "/Pictures");
    world.makeFile(world.home() + "/Music/b.txt", "b");
    world.makeFile(world.home() + "/Music/c.txt", "c");
    AnsweredBrowser a(world);
    Browser& b = a.b;
    b.tree.SetIncludeHidden(false);
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* music = childNamed(home, "Music");
    b.tree.expand(b.tree.IndexOf(music));
    b.tree.expand(b.tree.IndexOf(childNamed(music, "jazz")));
    clickNode(b.tree, music);
    QCOMPARE(shownPath(b.list), world.home() + "/Music");

    // The root and a read-only tree offer no editor.
    b.tree.setFocus();
    b.tree.SetReadOnly(true);
    QTest::keyClick(&b.tree, Qt::Key_F2);
    QVERIFY(!openEditor(&b.tree));
    b.tree.SetReadOnly(false);
    clickNode(b.tree, b.tree.Root());
    QTest::keyClick(&b.tree, Qt::Key_F2);
    QVERIFY(!openEditor(&b.tree));

    // F2 on a node: it keeps its place in the tree, its open branches and the
    // selection, and moves to its place among its siblings.
    clickNode(b.tree, music);
    QTest::keyClick(&b.tree, Qt::Key_F2);
    QCOMPARE(openEditor(&b.tree)->text(), QStringLiteral("Music"));
    typeName(&b.tree, QStringLiteral("Zoo"));
    QCOMPARE(textOf(music), std::string("Zoo"));
    QCOMPARE(childTexts(home), std::string("Pictures,Zoo,デスクトップ"));
    QCOMPARE(b.tree.Selected(), music);
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(music)));
    TVelShTreeNode* jazz = childNamed(music, "jazz");
    QVERIFY(jazz && b.tree.isExpanded(b.tree.IndexOf(jazz)));
    QCOMPARE(childTexts(jazz), std::string("live"));
    QVERIFY(fileExists(world.home() + "/Zoo/jazz/live"));
    QCOMPARE(shownPath(b.list), world.home() + "/Zoo");

    // A second, slow click on the selected node edits it too.
    pressMoveRelease(b.tree, music, Qt::LeftButton);
    QTRY_VERIFY(openEditor(&b.tree));
    QTest::keyClick(openEditor(&b.tree), Qt::Key_Escape);
    QCOMPARE(textOf(music), std::string("Zoo"));

    // A row: renamed, still selected and focused, in its new place.
    QAbstractItemView* view = b.list.ActiveView();
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowPoint(b.list, 2));
    QCOMPARE(rowNames(b.list), std::string("jazz,b.txt,c.txt"));
    QTest::keyClick(view, Qt::Key_F2);
    typeName(view, QStringLiteral("a.txt"));
    QTRY_COMPARE(rowNames(b.list), std::string("jazz,a.txt,b.txt"));
    std::string focused;
    b.list.ItemFocused()->GetDisplayName(focused);
    QCOMPARE(focused, std::string("a.txt"));
    QCOMPARE(b.list.ShFileList()->SelectedCount(), 1);
    QCOMPARE(readFile(world.home() + "/Zoo/a.txt"), std::string("c"));
    // A folder renamed in the list: the tree shows it, open as it was.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowPoint(b.list, 0));
    QTest::keyClick(view, Qt::Key_F2);
    typeName(view, QStringLiteral("blues"));
    QTRY_COMPARE(childTexts(music), std::string("blues"));
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(childNamed(music, "blues"))));

    // A name the code page cannot show is edited as shown: left as it was, it stays;
    // a new name renames the file by its bytes.
    world.makeFile(world.home() + "/Zoo/\xFF.txt", "odd");
    b.list.RefreshList();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      rowPoint(b.list, rowNamed(b.list, "\xFF.txt")));
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(openEditor(view)->text(), QStringLiteral("\\xFF.txt"));
    typeName(view, QStringLiteral("\\xFF.txt"));
    QVERIFY(fileExists(world.home() + "/Zoo/\xFF.txt"));
    QVERIFY(!fileExists(world.home() + "/Zoo/\\xFF.txt"));
    QTest::keyClick(view, Qt::Key_F2);
    typeName(view, QStringLiteral("d.txt"));
    QTRY_VERIFY(fileExists(world.home() + "/Zoo/d.txt"));
    QCOMPARE(readFile(world.home() + "/Zoo/d.txt"), std::string("odd"));
    QVERIFY(!fileExists(world.home() + "/Zoo/\xFF.txt"));
    QCOMPARE(a.dialogs.errors, QStringList());
}

void ViewChangesTest::refusedNamesShowTheirReason_data() {
    QTest::addColumn<bool>("inTree");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    const QString taken = VelShCst::Text(VelShCst::SNameExists);
    QTest::newRow("tree: taken") << true << "Pictures" << taken;
    QTest::newRow("tree: a slash") << true << "a/b" << VelShCst::Text(VelShCst::SBadName);
    QTest::newRow("list: taken") << false << "Pictures" << taken;
    QTest::newRow("list: empty") << false << "" << VelShCst::Text(VelShCst::SEmptyName);
}

void ViewChangesTest::refusedNamesShowTheirReason() {
    QFETCH(bool, inTree);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    BrowserWorld world;
    world.makeFile(world.home() + "/Music/song.mp3", "s");
    world.makeFile(world.home() + "/Pictures/p.jpg", "p");
    AnsweredBrowser a(world);
    Browser& b = a.b;
    b.tree.SetIncludeHidden(false);
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    QAbstractItemView* view = nullptr;
    if (inTree) {
        clickNode(b.tree, childNamed(home, "Music"));
        view = &b.tree;
    } else {
        TIDListPtr id = BrowserWorld::homeID();
        b.list.SetFolder(id.get());
        view = b.list.ActiveView();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          rowPoint(b.list, rowNamed(b.list, "Music")));
    }
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F2);
    typeName(view, name);
    QCOMPARE(a.dialogs.errors, QStringList{reason});
    // The label goes back, and nothing moved on disk.
    QCOMPARE(childTexts(home), std::string("Music,Pictures,デスクトップ"));
    if (!inTree)
        QVERIFY(rowNamed(b.list, "Music") >= 0);
    QCOMPARE(readFile(world.home() + "/Music/song.mp3"), std::string("s"));
    QCOMPARE(readFile(world.home() + "/Pictures/p.jpg"), std::string("p"));
}

void ViewChangesTest::drivesComeGoAndChangeTheirLabel() {
    BrowserWorld world;
    Browser b(world);
    TVelShTreeNode* computer = childNamed(b.tree.Root(), "コンピュータ");
    QCOMPARE(computer->Count(), 2);

    const std::string disc = world.addOpticalDrive("disc", true);
    const std::string arrived = "Disc (" + disc + ")";
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(computer, arrived), kNotifyWaitMs);
    // Watched once the drive has answered whether it is ready, which nothing waits for.
    QTRY_COMPARE_WITH_TIMEOUT(b.tree.WatchedFolders(),
                              (std::vector<std::string>{world.drive(), disc}), kNotifyWaitMs);

    world.labelOpticalDrive("SUMMER PHOTOS");
    QTRY_VERIFY_WITH_TIMEOUT(childNamed(computer, "Summer photos (" + disc + ")"), kNotifyWaitMs);

    world.removeDrive(disc);
    QTRY_COMPARE_WITH_TIMEOUT(computer->Count(), 2, kNotifyWaitMs);
    QCOMPARE(b.tree.WatchedFolders(), std::vector<std::string>{world.drive()});
}

void ViewChangesTest::anOpenFolderDeepUnderHomeIsWatchedFirst() {
    BrowserWorld world;
    const std::string deep = world.makeDir(world.home() + "/deep/a/b/c/old");
    for (int i = 0; i < 20; ++i)
        world.makeDir(world.home() + "/fill/" + std::to_string(i) + "/x");
    world.makeDir(world.home() + "/other/kept");
    Browser b(world);
    // A budget that the walk through the drive spends long before it gets to
    // the deep folder.
    constexpr int budget = 10;
    TShNotifyThread* thread = b.tree.NotifyThread();
    thread->setWatchLimit(budget);
    b.tree.SuspendNotify();
    b.tree.ResumeNotify();
    QTRY_VERIFY_WITH_TIMEOUT(thread->watchCount() > budget, kNotifyWaitMs);
    const std::string c = world.home() + "/deep/a/b/c/";
    for (const std::string& folder : thread->PriorityFolders())
        QVERIFY2(folder != c, folder.c_str());

    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* other = childNamed(home, "other");
    b.tree.expand(b.tree.IndexOf(other));
    TIDListPtr id = BrowserWorld::homeID({"deep", "a", "b", "c"});
    TVelShTreeNode* node = b.tree.FindNode(id.get());
    QCOMPARE(textOf(node), std::string("c"));
    b.tree.expand(b.tree.IndexOf(node));
    clickNode(b.tree, other);
    const std::vector<std::string> priority = thread->PriorityFolders();
    QVERIFY(std::find(priority.begin(), priority.end(), c) != priority.end());

    world.makeDir(c + "new");
    QTRY_COMPARE_WITH_TIMEOUT(childTexts(node), std::string("new,old"), kNotifyWaitMs);
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(other)));
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(node->Parent())));
    QCOMPARE(b.tree.Selected(), other);
}

void ViewChangesTest::aHungDriveNeverHoldsTheWindow() {
    if (!privateMounts)
        QSKIP("mounting needs a mount namespace of the test's own (the tests run as root)");
    BrowserWorld world;
    world.makeDir(world.home() + "/photos/2024");
    world.makeFile(world.home() + "/photos/a.jpg", "A");
    const std::string nas = world.home() + "/nas";
    // A hang the test cannot get out of fails it after this long instead.
    HungMount hung(nas, std::chrono::seconds(60));
    QVERIFY2(hung.mounted(), hung.error().c_str());
    world.addDrive(nas, "fuse.sshfs");
    Browser b(world);
    TVelShTreeNode* computer = childNamed(b.tree.Root(), "コンピュータ");
    TVelShTreeNode* drive = childNamed(computer, "nas");
    QVERIFY(drive);
    // Not watched, and it opens empty.
    QCOMPARE(b.tree.WatchedFolders(), std::vector<std::string>{world.drive()});
    b.tree.expand(b.tree.IndexOf(drive));
    QCOMPARE(drive->Count(), 0);

    // The home folder holds it: its folder opens empty too.
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* folder = childNamed(home, "nas");
    QVERIFY(folder);
    b.tree.expand(b.tree.IndexOf(folder));
    QCOMPARE(folder->Count(), 0);
    TVelShTreeNode* photos = childNamed(home, "photos");
    b.tree.expand(b.tree.IndexOf(photos));

    // The list shows home with all its details, and does not go into it.
    b.list.SetViewStyle(vsReport);
    TIDListPtr homeID = BrowserWorld::homeID();
    b.list.SetFolder(homeID.get());
    const auto allDetails = [&] {
        for (int row = 0; row < b.list.ItemsCount(); ++row)
            for (int column = 0; column < b.list.ShModel()->columnCount(); ++column)
                b.list.ShModel()->index(row, column).data();
    };
    allDetails();
    TVelShFileList* shown = b.list.ShFileList();
    b.list.OpenRow(rowNamed(b.list, "nas"));
    QCOMPARE(b.list.ShFileList(), shown);
    TIDListPtr inside = BrowserWorld::homeID({"nas", "inside"});
    b.list.SetFolder(inside.get());
    QCOMPARE(b.list.ShFileList(), shown);
    // Nothing is dropped into it: its row leaves a drop to home.
    const auto data = filesData({world.home() + "/photos/a.jpg"});
    QWidget* listViewport = b.list.ActiveView()->viewport();
    QCOMPARE(dragOver(listViewport, rowPoint(b.list, rowNamed(b.list, "nas")), data.get(),
                      Qt::ControlModifier),
             Qt::CopyAction);
    QCOMPARE(b.list.ShModel()->DropRow(), -1);
    QDragLeaveEvent leave;
    QApplication::sendEvent(listViewport, &leave);
    for (TVelShTreeNode* node : {drive, folder}) {
        QCOMPARE(
            dragOver(b.tree.viewport(), nodePoint(b.tree, node), data.get(), Qt::ControlModifier),
            Qt::IgnoreAction);
        QApplication::sendEvent(b.tree.viewport(), &leave);
    }

    // The computer with its drives' details; the drive's row does not open.
    clickNode(b.tree, computer);
    allDetails();
    shown = b.list.ShFileList();
    b.list.OpenRow(rowNamed(b.list, "nas"));
    QCOMPARE(b.list.ShFileList(), shown);

    // The watching thread went past it: changes elsewhere still arrive.
    world.makeDir(world.home() + "/photos/2025");
    QTRY_COMPARE_WITH_TIMEOUT(childTexts(photos), std::string("2024,2025"), kNotifyWaitMs);
    b.tree.RefreshNodes();
    b.tree.DrivesChanged();
    QVERIFY(!hung.watchdogFired());
}

void ViewChangesTest::aSlowDrivesBranchesAreReadOffTheGuiThread() {
    if (!privateMounts)
        QSKIP("mounting needs a mount namespace of the test's own (the tests run as root)");
    BrowserWorld world;
    const std::string nas = world.home() + "/nas";
    SlowMount slow(nas, std::chrono::milliseconds(50), 2);
    QVERIFY2(slow.mounted(), slow.error().c_str());
    world.addDrive(nas, "fuse.sshfs");
    QVERIFY(ShOnSlowDrive(nas + "/album1"));
    QVERIFY(!ShOnSlowDrive(world.home()));
    Browser b(world);
    TVelShTreeNode* drive = childNamed(childNamed(b.tree.Root(), "コンピュータ"), "nas");
    QVERIFY(drive);
    // Once the drive (then the folder) has answered, opening its branch returns
    // before the branch is read: it is read on a worker and fills afterwards.
    const struct {
        const char* album; // null: the drive itself
        const char* children;
    } branches[] = {{nullptr, "album1,album2"}, {"album1", "sub1,sub2,sub3"}};
    for (const auto& branch : branches) {
        TVelShTreeNode* node = branch.album ? childNamed(drive, branch.album) : drive;
        QVERIFY(node);
        QTRY_VERIFY_WITH_TIMEOUT(ShItemReadiness(*node->Data()) == TShReadiness::Ready, 5000);
        b.tree.expand(b.tree.IndexOf(node));
        QCOMPARE(node->Count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(node), std::string(branch.children), 5000);
        QVERIFY(b.tree.isExpanded(b.tree.IndexOf(node)));
        // Drawing the children asks the drive nothing more.
        const long asked = slow.answered();
        for (int i = 0; i < node->Count(); ++i) {
            const QModelIndex child = b.tree.IndexOf(node->Child(i));
            for (int role : {Qt::DisplayRole, Qt::DecorationRole, Qt::ForegroundRole})
                (void)child.data(role);
            QVERIFY(b.tree.model()->hasChildren(child));
        }
        QCOMPARE(slow.answered(), asked);
    }
    // A refresh keeps the nodes, and the closed branches take their fresh marks
    // when the reading comes.
    TVelShTreeNode* sub1 = childNamed(childNamed(drive, "album1"), "sub1");
    QSignalSpy marked(b.tree.model(), &QAbstractItemModel::dataChanged);
    b.tree.RefreshNodes();
    QTRY_VERIFY_WITH_TIMEOUT(!marked.isEmpty(), 5000);
    QCOMPARE(childNamed(childNamed(drive, "album1"), "sub1"), sub1);
    // The readings on their way end with the test.
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    QCoreApplication::sendPostedEvents();
}

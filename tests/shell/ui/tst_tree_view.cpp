// The folder tree: its first view, lazy branches and their merge, the delayed
// arrow-key change, press-and-drag, change notification and SelectPath.
#include "tests/shell/ui/tst_views.h"

#include "shell/shell_texts.h"
#include "tests/shell/views_support.h"

#include <QSignalSpy>
#include <chrono>

using namespace kelvora;
using namespace kelvora::test;

void TreeViewTest::init() {
    liveIDs_ = BrowserWorld::liveIDs();
}

void TreeViewTest::cleanup() {
    QCOMPARE(BrowserWorld::liveIDs(), liveIDs_);
}

void TreeViewTest::firstViewShowsDesktopAndComputerOpen() {
    BrowserWorld world;
    world.makeDir(world.desktop() + "/album");
    world.makeFile(world.desktop() + "/note.txt");
    world.makeDir(world.home() + "/Pictures/2023");
    Browser b(world);

    TVelShTreeNode* root = b.tree.Root();
    QCOMPARE(textOf(root), std::string("デスクトップ"));
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(root)));
    QCOMPARE(b.tree.Selected(), root);
    QCOMPARE(TVelShID::IDCount(b.tree.SelectedID()), 0);
    // The trash and the network by default; files only with IncludeFiles.
    QCOMPARE(childTexts(root), std::string("ホーム,コンピュータ,ネットワーク,ごみ箱,album"));
    TVelShTreeNode* computer = childNamed(root, "コンピュータ");
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(computer)));
    QCOMPARE(computer->Count(), 2); // "/" and the test's drive
    // Other branches are read only when opened, but offer to open.
    TVelShTreeNode* home = homeNode(b.tree);
    QCOMPARE(home->Count(), 0);
    QVERIFY(b.tree.ShModel()->hasChildren(b.tree.IndexOf(home)));
    QVERIFY(!b.tree.isExpanded(b.tree.IndexOf(home)));
    // The list shows the desktop.
    QCOMPARE(TVelShID::IDCount(b.list.ShFileList()->FolderID()), 0);
    QVERIFY(rowNamed(b.list, "note.txt") >= 0);
}

void TreeViewTest::branchesFillWhenOpenedAndMergeKeepsState() {
    BrowserWorld world;
    for (const char* name : {"Music/jazz", "Pictures/2023", "Old/x", "Videos"})
        world.makeDir(world.home() + "/" + name);
    Browser b(world);
    b.tree.SetIncludeHidden(false);
    QVERIFY(!b.list.ShContents().contains(scHidden));
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    QCOMPARE(childTexts(home), std::string("Music,Old,Pictures,Videos,デスクトップ"));
    TVelShTreeNode* pictures = childNamed(home, "Pictures");
    TVelShTreeNode* music = childNamed(home, "Music");
    QVERIFY(b.tree.ShModel()->hasChildren(b.tree.IndexOf(music)));
    QVERIFY(!b.tree.ShModel()->hasChildren(b.tree.IndexOf(childNamed(home, "Videos"))));
    clickBranchButton(b.tree, pictures); // opens without selecting
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(pictures)));
    QCOMPARE(textOf(b.tree.Selected()), std::string("デスクトップ"));
    clickNode(b.tree, music);
    QCOMPARE(b.tree.Selected(), music);
    QCOMPARE(shownPath(b.list), world.home() + "/Music");
    QCOMPARE(b.tree.ExpandedList().Count(), 3); // the desktop, ホーム, Pictures

    // A folder appears, another goes: only they change.
    world.makeDir(world.home() + "/Documents");
    BrowserWorld::removeAll(world.home() + "/Old");
    b.tree.RefreshNodes();
    QCOMPARE(childTexts(home), std::string("Documents,Music,Pictures,Videos,デスクトップ"));
    QCOMPARE(childNamed(home, "Pictures"), pictures);
    QCOMPARE(childNamed(home, "Music"), music);
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(pictures)));
    QCOMPARE(b.tree.Selected(), music);
    QCOMPARE(childTexts(pictures), std::string("2023"));

    // A folder that gains a subfolder while closed offers to open.
    world.makeDir(world.home() + "/Videos/clips");
    b.tree.RefreshNodes();
    QVERIFY(b.tree.ShModel()->hasChildren(b.tree.IndexOf(childNamed(home, "Videos"))));

    // Closing a branch forgets it and everything open below it.
    clickBranchButton(b.tree, home);
    QVERIFY(!b.tree.isExpanded(b.tree.IndexOf(home)));
    QCOMPARE(b.tree.ExpandedList().Count(), 1);
}

void TreeViewTest::heldArrowKeyUpdatesTheListOnceAfterTheDelay() {
    BrowserWorld world;
    for (const char* name : {"a1", "a2", "a3", "a4"})
        world.makeDir(world.home() + "/" + name);
    Browser b(world);
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    b.tree.setFocus();

    // A click reaches the list at once.
    clickNode(b.tree, childNamed(home, "a1"));
    QCOMPARE(shownPath(b.list), world.home() + "/a1");

    QSignalSpy changes(&b.list, &TCustomVelShListView::OnShListChange);
    for (int i = 0; i < 3; ++i)
        QTest::keyPress(&b.tree, Qt::Key_Down); // held: no release in between
    const auto lastMove = std::chrono::steady_clock::now();
    QCOMPARE(textOf(b.tree.Selected()), std::string("a4"));
    QTest::keyRelease(&b.tree, Qt::Key_Down);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(shownPath(b.list), world.home() + "/a1");

    QTRY_COMPARE_WITH_TIMEOUT(shownPath(b.list), world.home() + "/a4", kNotifyWaitMs);
    const auto waited = std::chrono::steady_clock::now() - lastMove;
    QVERIFY(waited >= std::chrono::milliseconds(TCustomVelShTreeView::kChangeDelayMs - 50));
    QTest::qWait(2 * TCustomVelShTreeView::kChangeDelayMs);
    QCOMPARE(changes.count(), 1);

    // Without ChangeDelay every move reaches the list at once.
    b.tree.SetChangeDelay(false);
    QTest::keyClick(&b.tree, Qt::Key_Up);
    QCOMPARE(shownPath(b.list), world.home() + "/a3");
}

void TreeViewTest::pendingChangeOfADeletedNodeIsDropped() {
    BrowserWorld world;
    for (const char* name : {"a1", "a2", "a3"})
        world.makeDir(world.home() + "/" + name);
    Browser b(world);
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    clickNode(b.tree, childNamed(home, "a1"));
    std::vector<std::string> shown;
    QObject::connect(&b.list, &TCustomVelShListView::OnShListChange, &b.list,
                     [&](TVelShFileList* list) { shown.push_back(list->Path()); });

    QTest::keyPress(&b.tree, Qt::Key_Down);
    QCOMPARE(textOf(b.tree.Selected()), std::string("a2"));
    BrowserWorld::removeAll(world.home() + "/a2");
    b.tree.RefreshNodes(); // the pending node is deleted now
    QTest::keyRelease(&b.tree, Qt::Key_Down);
    QCOMPARE(childNamed(home, "a2"), nullptr);
    QTest::qWait(3 * TCustomVelShTreeView::kChangeDelayMs);
    for (const std::string& path : shown)
        QVERIFY2(path != world.home() + "/a2", path.c_str());
    // The list follows the node that took the selection, not the deleted one.
    QCOMPARE(shownPath(b.list), world.home() + "/" + textOf(b.tree.Selected()));
}

void TreeViewTest::pressSelectsOnlyOnRelease_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("move");
    QTest::addColumn<bool>("selects");
    QTest::addColumn<int>("drags");
    QTest::newRow("click") << int(Qt::LeftButton) << QPoint() << true << 0;
    QTest::newRow("small wobble") << int(Qt::LeftButton) << QPoint(3, 2) << true << 0;
    QTest::newRow("drag") << int(Qt::LeftButton) << QPoint(0, 30) << false << 1;
    QTest::newRow("right click") << int(Qt::RightButton) << QPoint() << false << 0;
    QTest::newRow("right drag") << int(Qt::RightButton) << QPoint(20, 0) << false << 1;
}

void TreeViewTest::pressSelectsOnlyOnRelease() {
    QFETCH(int, button);
    QFETCH(QPoint, move);
    QFETCH(bool, selects);
    QFETCH(int, drags);
    BrowserWorld world;
    world.makeDir(world.home() + "/first");
    world.makeDir(world.home() + "/second");
    Browser b(world);
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    clickNode(b.tree, childNamed(home, "first"));
    std::vector<std::string> dragged;
    b.tree.OnShBeginDrag = [&](TCustomVelShTreeView*, TVelShTreeNode* node, const QPoint&, int, int,
                               bool&) { dragged.push_back(textOf(node)); };

    TVelShTreeNode* second = childNamed(home, "second");
    const QModelIndex index = b.tree.IndexOf(second);
    const QPoint at = b.tree.ItemHitRect(index).center();
    QTest::mousePress(b.tree.viewport(), Qt::MouseButton(button), {}, at);
    // While pressed, the node is only highlighted.
    QCOMPARE(b.tree.Highlighted(), QModelIndex(index));
    QCOMPARE(textOf(b.tree.Selected()), std::string("first"));
    if (!move.isNull())
        sendMove(b.tree.viewport(), at + move, Qt::MouseButton(button));
    QTest::mouseRelease(b.tree.viewport(), Qt::MouseButton(button), {}, at + move);

    QCOMPARE(textOf(b.tree.Selected()), std::string(selects ? "second" : "first"));
    QCOMPARE(shownPath(b.list), world.home() + (selects ? "/second" : "/first"));
    QCOMPARE(int(dragged.size()), drags);
    if (drags)
        QCOMPARE(dragged[0], std::string("second"));
    QCOMPARE(b.tree.MouseState(), TShMouseState::Idle);
    QVERIFY(!b.tree.Highlighted().isValid());
}

void TreeViewTest::newFolderAppearsAfterNotification() {
    BrowserWorld world;
    world.makeDir(world.home() + "/Music/jazz");
    world.makeDir(world.home() + "/Pictures/2023");
    Browser b(world);
    // The tree watches the test's drive with its subfolders.
    QCOMPARE(b.tree.WatchedFolders(), std::vector<std::string>{world.drive()});
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* music = childNamed(home, "Music");
    TVelShTreeNode* pictures = childNamed(home, "Pictures");
    b.tree.expand(b.tree.IndexOf(music));
    b.tree.expand(b.tree.IndexOf(pictures));
    clickNode(b.tree, childNamed(music, "jazz"));

    world.makeDir(world.home() + "/Pictures/2024");
    QTRY_COMPARE_WITH_TIMEOUT(childTexts(pictures), std::string("2023,2024"), kNotifyWaitMs);
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(music)));
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(pictures)));
    QCOMPARE(textOf(b.tree.Selected()), std::string("jazz"));
    QCOMPARE(shownPath(b.list), world.home() + "/Music/jazz");
}

void TreeViewTest::selectPathFollowsTheList() {
    BrowserWorld world;
    world.makeDir(world.home() + "/Pictures/2023/summer");
    world.makeDir(world.home() + "/.secret/inner");
    Browser b(world);

    // FindNode makes the branches on the way.
    TIDListPtr summer = BrowserWorld::homeID({"Pictures", "2023", "summer"});
    TVelShTreeNode* node = b.tree.FindNode(summer.get());
    QCOMPARE(textOf(node), std::string("summer"));
    QVERIFY(b.tree.isExpanded(b.tree.IndexOf(node->Parent())));
    TIDListPtr missing = BrowserWorld::homeID({"Pictures", "none"});
    QCOMPARE(b.tree.FindNode(missing.get()), b.tree.Root());

    // The list shows a folder: the tree selects it.
    b.list.SetFolder(summer.get());
    QCOMPARE(b.tree.Selected(), node);

    // A folder the tree does not show: the tree stops at its nearest shown
    // ancestor, and the list stays where it is.
    b.tree.SetIncludeHidden(false);
    TIDListPtr inner = BrowserWorld::homeID({".secret", "inner"});
    b.list.SetFolder(inner.get());
    QCOMPARE(textOf(b.tree.Selected()), std::string("ホーム"));
    QCOMPARE(shownPath(b.list), world.home() + "/.secret/inner");
}

void TreeViewTest::filtersDecideWhatBecomesANode() {
    BrowserWorld world;
    for (const char* name : {"sub/x", "skip/x"})
        world.makeDir(world.home() + "/docs/" + name);
    world.makeFile(world.home() + "/docs/a.txt");
    world.makeFile(world.home() + "/docs/b.jpg");
    Browser b(world);
    const auto nameOf = [](TVelShData* data) {
        std::string name;
        data->GetDisplayName(name);
        return name;
    };
    b.tree.OnShAddData = [&](TCustomVelShTreeView*, TVelShData* data, bool& accept) {
        accept = nameOf(data) != "skip";
    };
    b.tree.OnShFilter = [&](TCustomVelShTreeView*, TVelShData* data, bool& accept) {
        accept = nameOf(data) != "a.txt";
    };
    TVelShTreeNode* home = homeNode(b.tree);
    b.tree.expand(b.tree.IndexOf(home));
    TVelShTreeNode* docs = childNamed(home, "docs");
    b.tree.expand(b.tree.IndexOf(docs));
    QCOMPARE(childTexts(docs), std::string("sub"));
    b.tree.SetIncludeFiles(true);
    QCOMPARE(childTexts(docs), std::string("sub,b.jpg"));
    b.tree.SetIncludeFiles(false);
    QCOMPARE(childTexts(docs), std::string("sub"));
}

void TreeViewTest::driveWithoutMediumOpensEmpty() {
    BrowserWorld world;
    const std::string cdrom = world.addOpticalDrive("cdrom", false);
    Browser b(world);
    TVelShTreeNode* computer = childNamed(b.tree.Root(), "コンピュータ");
    TVelShTreeNode* drive = childNamed(computer, "cdrom");
    QVERIFY(drive);
    QCOMPARE(drive->Data()->GetItemType(), itRootDrive);
    b.tree.expand(b.tree.IndexOf(drive));
    QCOMPARE(drive->Count(), 0);

    // The list does not go there either: not from a row, not when told to.
    clickNode(b.tree, computer);
    TVelShFileList* shown = b.list.ShFileList();
    QVERIFY(TVelShID::IsSpecialFolder(shown->FolderID(), sfidDrives));
    b.list.OpenRow(rowNamed(b.list, "cdrom"));
    QCOMPARE(b.list.ShFileList(), shown);
    TIDListPtr id = BrowserWorld::parse(cdrom);
    b.list.SetFolder(id.get());
    QCOMPARE(b.list.ShFileList(), shown);
    QCOMPARE(b.tree.Selected(), computer);
}

void TreeViewTest::anAddedDriveIsWatchedAndShown() {
    BrowserWorld world;
    Browser b(world);
    TVelShTreeNode* computer = childNamed(b.tree.Root(), "コンピュータ");
    QCOMPARE(computer->Count(), 2);
    const std::string disc = world.addOpticalDrive("disc", true);
    b.tree.DrivesChanged();
    // An optical drive is asked whether it answers without the window waiting:
    // it is watched, and its branch filled, once the answer is in.
    QTRY_COMPARE(b.tree.WatchedFolders(), (std::vector<std::string>{world.drive(), disc}));
    TVelShTreeNode* drive = childNamed(computer, "disc");
    QVERIFY(drive);
    b.tree.expand(b.tree.IndexOf(drive));
    QTRY_COMPARE(childTexts(drive), std::string("DCIM"));
}

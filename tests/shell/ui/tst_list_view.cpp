// The file list: view styles, sorting, detail texts, the folder cache, change
// notification, opening rows, type-ahead, selection events, drags, the column
// memory and the clipboard.
#include "tests/shell/ui/tst_views.h"

#include "shell/items/drag_object.h"
#include "tests/shell/views_support.h"
#include "tests/support/fake_dialogs.h"

#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

void setModified(const std::string& path, const QDateTime& when) {
    struct utimbuf times;
    times.actime = times.modtime = static_cast<time_t>(when.toSecsSinceEpoch());
    ::utime(path.c_str(), &times);
}

void showHomeFolder(TCustomVelShListView& list, std::initializer_list<std::string> names) {
    TIDListPtr id = BrowserWorld::homeID(names);
    list.SetFolder(id.get());
}

std::vector<int> selectedRows(const TCustomVelShListView& list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list.SelectionModel()->selectedRows(0))
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void selectRow(TCustomVelShListView& list, int row, bool add = false) {
    const QModelIndex index = list.ShModel()->index(row, 0);
    list.SelectionModel()->setCurrentIndex(
        index, (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
                   QItemSelectionModel::Rows);
}

// f100, f101, ...
std::string folderName(int i) {
    std::string name("f");
    name += std::to_string(100 + i);
    return name;
}

void clickHeader(TCustomVelShListView& list, int column) {
    QHeaderView* header = list.Header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

void ListViewTest::init() {
    liveIDs_ = BrowserWorld::liveIDs();
}

void ListViewTest::cleanup() {
    QCOMPARE(BrowserWorld::liveIDs(), liveIDs_);
}

void ListViewTest::viewStylesKeepRowsSelectionAndFocus() {
    BrowserWorld world;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        world.makeFile(world.home() + "/Docs/" + name);
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    QCOMPARE(b.list.ViewStyle(), vsIcon);
    selectRow(b.list, 1);
    selectRow(b.list, 3, true);
    for (const TViewStyle style : {vsSmallIcon, vsList, vsReport, vsIcon, vsReport}) {
        b.list.SetViewStyle(style);
        QCOMPARE(b.list.ViewStyle(), style);
        QVERIFY(b.list.ActiveView()->isVisible());
        QCOMPARE(b.list.ItemsCount(), 5);
        QCOMPARE(selectedRows(b.list), (std::vector<int>{1, 3}));
        QCOMPARE(b.list.ItemFocused()->GetIndex(), 3);
        QCOMPARE(b.list.ShFileList()->SelectedCount(), 2);
    }
}

void ListViewTest::headerClicksSortEachColumnItsOwnWay_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("sortColumn");
    QTest::newRow("as read") << QList<int>{} << "dir,a.jpg,b.txt,c.png" << 0;
    QTest::newRow("name: first click descends") << QList<int>{0} << "c.png,b.txt,a.jpg,dir" << 0;
    QTest::newRow("name: second click ascends") << QList<int>{0, 0} << "dir,a.jpg,b.txt,c.png" << 0;
    QTest::newRow("size descends") << QList<int>{1} << "a.jpg,c.png,b.txt,dir" << 1;
    QTest::newRow("size ascends") << QList<int>{1, 1} << "dir,b.txt,c.png,a.jpg" << 1;
    QTest::newRow("modified descends") << QList<int>{3} << "b.txt,a.jpg,c.png,dir" << 3;
    QTest::newRow("each column its own direction")
        << QList<int>{0, 1} << "a.jpg,c.png,b.txt,dir" << 1;
}

void ListViewTest::headerClicksSortEachColumnItsOwnWay() {
    QFETCH(QList<int>, clicks);
    QFETCH(QString, order);
    QFETCH(int, sortColumn);
    BrowserWorld world;
    const std::string docs = world.home() + "/Docs/";
    world.makeDir(docs + "dir");
    const QDateTime base(QDate(2020, 1, 1), QTime(12, 0));
    setModified(world.makeFile(docs + "a.jpg", std::string(20000, 'a')), base.addDays(2));
    setModified(world.makeFile(docs + "b.txt", std::string(10, 'b')), base.addDays(3));
    setModified(world.makeFile(docs + "c.png", std::string(3000, 'c')), base.addDays(1));
    Browser b(world);
    b.list.SetViewStyle(vsReport);
    showHomeFolder(b.list, {"Docs"});
    for (const int column : clicks)
        clickHeader(b.list, column);
    QCOMPARE(rowNames(b.list), order.toStdString());
    QCOMPARE(b.list.ShFileList()->SortColumn(), sortColumn);
    const int direction = b.list.ShFileList()->SortDirection(sortColumn);
    QCOMPARE(b.list.Header()->sortIndicatorSection(), sortColumn);
    QCOMPARE(b.list.Header()->sortIndicatorOrder(),
             direction < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void ListViewTest::detailTexts_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("size");
    QTest::newRow("0 B") << 0 << "1KB";
    QTest::newRow("1 B") << 1 << "1KB";
    QTest::newRow("1 KiB") << 1024 << "1KB";
    QTest::newRow("1 KiB + 1") << 1025 << "2KB";
    QTest::newRow("1 MiB") << 1048576 << "1,024KB";
}

void ListViewTest::detailTexts() {
    QFETCH(int, bytes);
    QFETCH(QString, size);
    BrowserWorld world;
    const std::string file = world.makeFile(world.home() + "/Docs/f.jpg",
                                            std::string(static_cast<std::size_t>(bytes), 'x'));
    setModified(file, QDateTime(QDate(2001, 2, 3), QTime(14, 5)));
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    QCOMPARE(b.list.ItemsCount(), 1);
    const TVelShListModel* model = b.list.ShModel();
    QCOMPARE(model->index(0, 1).data().toString(), size);
    QVERIFY(!model->index(0, 2).data().toString().isEmpty());
    QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("2001/02/03 14:05"));
}

void ListViewTest::columnsOfFileSystemAndVirtualFolders() {
    BrowserWorld world;
    world.makeDir(world.home() + "/Docs/sub");
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    const TVelShListModel* model = b.list.ShModel();
    QStringList captions;
    for (int c = 0; c < model->columnCount(); ++c)
        captions << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(captions, (QStringList{"名前", "サイズ", "ファイルの種類", "更新日時"}));
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignLeft);
    QCOMPARE(model->index(0, 1).data().toString(), QString()); // folders show no size

    // A folder without a path (the computer) has names only.
    TIDListPtr computer(IDMakeVirtual(TShVirtualFolder::Computer));
    b.list.SetFolder(computer.get());
    QCOMPARE(model->columnCount(), 1);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("名前"));
}

void ListViewTest::contentsAndFiltersDecideTheRows() {
    BrowserWorld world;
    const std::string docs = world.home() + "/Docs/";
    world.makeDir(docs + "sub");
    for (const char* name : {".hidden", "a.txt", "b.jpg"})
        world.makeFile(docs + name);
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    QCOMPARE(b.list.ItemsCount(), 4);
    TShContentsSet contents = TShContentsSet::defaults();
    contents.exclude(scHidden);
    b.list.SetShContents(contents);
    QCOMPARE(rowNames(b.list), std::string("sub,a.txt,b.jpg"));
    contents.exclude(scFiles);
    b.list.SetShContents(contents);
    QCOMPARE(rowNames(b.list), std::string("sub"));
    b.list.SetShContents(TShContentsSet::defaults());
    b.list.OnShFilter = [](TCustomVelShListView*, TVelShData* data, bool& accept) {
        std::string name;
        data->GetDisplayName(name);
        accept = name != "b.jpg";
    };
    b.list.RefreshList();
    QCOMPARE(b.list.ItemsCount(), 3);
    QCOMPARE(rowNamed(b.list, "b.jpg"), -1);

    // Virtual items on the desktop: the list and the tree follow one setting.
    TIDListPtr desktop(IDMakeEmpty());
    b.list.SetFolder(desktop.get());
    QVERIFY(rowNamed(b.list, "ごみ箱") >= 0);
    b.list.SetShVirtuaItems(TShVirtuaItems::fromMask(0));
    QCOMPARE(rowNamed(b.list, "ごみ箱"), -1);
    QCOMPARE(rowNamed(b.list, "ネットワーク"), -1);
    QCOMPARE(b.tree.ShVirtuaItems(), TShVirtuaItems::fromMask(0));
    QCOMPARE(childNamed(b.tree.Root(), "ごみ箱"), nullptr);
}

void ListViewTest::hiddenAndLinkedRowsLookDifferent() {
    BrowserWorld world;
    const std::string docs = world.home() + "/Docs/";
    world.makeFile(docs + "a.txt");
    world.makeFile(docs + ".b.txt");
    world.makeLink("a.txt", docs + "c.txt");
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    const auto indexOf = [&](const char* name) {
        return b.list.ShModel()->index(rowNamed(b.list, name), 0);
    };
    const auto look = [&](const char* name) {
        return indexOf(name).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
    };
    for (const char* name : {"a.txt", ".b.txt", "c.txt"}) // only compressed rows are blue
        QVERIFY(!indexOf(name).data(Qt::ForegroundRole).isValid());
    const QImage plain = look("a.txt"), hidden = look(".b.txt"), link = look("c.txt");
    QVERIFY(!plain.isNull());
    QVERIFY(hidden != plain); // faded
    QVERIFY(link != plain);   // with the link overlay
    QVERIFY(link != hidden);
}

void ListViewTest::cacheKeepsSelectionAndDropsTheOldest() {
    BrowserWorld world;
    for (int i = 0; i < 33; ++i) {
        const std::string folder = world.home() + "/" + folderName(i);
        for (const char* name : {"x.txt", "y.txt", "z.txt"})
            world.makeFile(folder + "/" + name);
    }
    Browser b(world);
    showHomeFolder(b.list, {"f100"});
    TVelShFileList* first = b.list.ShFileList();
    selectRow(b.list, 2);
    selectRow(b.list, 1, true); // focus on y, the latest
    showHomeFolder(b.list, {"f101"});
    QCOMPARE(b.list.ShFileList()->SelectedCount(), 0);

    QSignalSpy changes(&b.list, &TCustomVelShListView::OnShListChange);
    showHomeFolder(b.list, {"f100"});
    QCOMPARE(b.list.ShFileList(), first); // from the cache, not read again
    QCOMPARE(changes.count(), 1);
    QCOMPARE(selectedRows(b.list), (std::vector<int>{1, 2}));
    // The earliest-selected row still selected takes the focus.
    QCOMPARE(b.list.ItemFocused()->GetIndex(), 2);

    for (int i = 1; i < 33; ++i)
        showHomeFolder(b.list, {folderName(i)});
    QCOMPARE(b.list.Cache().Count(), TVelShFileLists::kCapacity + 1);
    TIDListPtr f100 = BrowserWorld::homeID({"f100"});
    TIDListPtr f102 = BrowserWorld::homeID({"f102"});
    QCOMPARE(b.list.Cache().IndexOf(f100.get()), -1);
    QCOMPARE(b.list.Cache().IndexOf(f102.get()), TVelShFileLists::kCapacity); // the oldest kept
    // Folders leave the watch list with their lists.
    const std::vector<std::string> watched = b.list.WatchedFolders();
    QCOMPARE(int(watched.size()), TVelShFileLists::kCapacity + 1);
    QVERIFY(std::find(watched.begin(), watched.end(), world.home() + "/f100/") == watched.end());
}

void ListViewTest::deletedShownFolderShowsItsParent() {
    BrowserWorld world;
    world.makeFile(world.home() + "/Pictures/2024/a.jpg");
    Browser b(world);
    showHomeFolder(b.list, {"Pictures", "2024"});
    QCOMPARE(textOf(b.tree.Selected()), std::string("2024"));
    BrowserWorld::removeAll(world.home() + "/Pictures/2024");
    QTRY_COMPARE_WITH_TIMEOUT(shownPath(b.list), world.home() + "/Pictures", kNotifyWaitMs);
    QCOMPARE(textOf(b.tree.Selected()), std::string("Pictures"));
    // The tree may have moved the list before the list's own watcher reported.
    TIDListPtr gone = BrowserWorld::homeID({"Pictures", "2024"});
    QTRY_COMPARE_WITH_TIMEOUT(b.list.Cache().IndexOf(gone.get()), -1, kNotifyWaitMs);
}

void ListViewTest::changesKeepTheSelection() {
    BrowserWorld world;
    world.makeFile(world.home() + "/Docs/a.txt");
    world.makeFile(world.home() + "/Docs/b.txt");
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    selectRow(b.list, 1);
    world.makeFile(world.home() + "/Docs/c.txt");
    std::filesystem::remove(world.home() + "/Docs/a.txt");
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(b.list), std::string("b.txt,c.txt"), kNotifyWaitMs);
    QCOMPARE(selectedRows(b.list), std::vector<int>{0});
    QCOMPARE(b.list.ItemFocused()->GetIndex(), 0);
    QCOMPARE(b.list.ShFileList()->SelectedCount(), 1);

    // The rows a reading replaces go by themselves between events, all of them.
    b.list.RefreshList();
    const long withReplaced = TShellAllocator::LiveBlocks();
    QTRY_VERIFY(TShellAllocator::LiveBlocks() < withReplaced);
    const long settled = TShellAllocator::LiveBlocks();
    TVelShFileList::FreeReplacedRows();
    QCOMPARE(TShellAllocator::LiveBlocks(), settled);
}

void ListViewTest::openingRows_data() {
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("refuse");     // 0 nothing, 1 OnShExecute, 2 OnShListOpen
    QTest::addColumn<QString>("shown");  // below home after opening
    QTest::addColumn<QString>("opened"); // below home, what the opener got
    QTest::newRow("folder") << "sub" << 0 << "Docs/sub"
                            << "";
    QTest::newRow("folder refused") << "sub" << 2 << "Docs"
                                    << "";
    QTest::newRow("file") << "file.txt" << 0 << "Docs"
                          << "Docs/file.txt";
    QTest::newRow("file refused") << "file.txt" << 1 << "Docs"
                                  << "";
    QTest::newRow("link to a folder") << "tosub" << 0 << "Docs/tosub"
                                      << "";
    QTest::newRow("desktop link to a folder") << "sub.desktop" << 0 << "Docs/sub"
                                              << "";
    QTest::newRow("link to a file") << "tofile.txt" << 0 << "Docs"
                                    << "Docs/tofile.txt";
    QTest::newRow("link not resolved") << "tofile.txt" << 2 << "Docs"
                                       << "Docs/tofile.txt";
    QTest::newRow("broken link") << "broken" << 0 << "Docs"
                                 << "";
}

void ListViewTest::openingRows() {
    QFETCH(QString, row);
    QFETCH(int, refuse);
    QFETCH(QString, shown);
    QFETCH(QString, opened);
    BrowserWorld world;
    const std::string docs = world.home() + "/Docs/";
    world.makeDir(docs + "sub");
    world.makeFile(docs + "file.txt", "x");
    world.makeLink("sub", docs + "tosub");
    world.makeLink("file.txt", docs + "tofile.txt");
    world.makeLink("nowhere", docs + "broken");
    world.makeFile(docs + "sub.desktop",
                   "[Desktop Entry]\nType=Link\nName=sub\nURL=file://" + docs + "sub\n");
    Browser b(world);
    FakeOpener opener;
    b.list.SetShellOpener(opener);
    b.list.OnShExecute = [&](TCustomVelShListView*, TVelShFileData*, Qt::KeyboardModifiers, int,
                             int, int, bool& defaultAction) { defaultAction = refuse != 1; };
    b.list.OnShListOpen = [&](TCustomVelShListView*, TVelShFileData*, bool& canOpen) {
        canOpen = refuse != 2;
    };
    showHomeFolder(b.list, {"Docs"});
    const int index = rowNamed(b.list, row.toStdString());
    QVERIFY(index >= 0);
    b.list.OpenRow(index);
    QCOMPARE(shownPath(b.list), world.home() + "/" + shown.toStdString());
    const std::vector<std::string> expected =
        opened.isEmpty() ? std::vector<std::string>{}
                         : std::vector<std::string>{world.home() + "/" + opened.toStdString()};
    QCOMPARE(opener.opened, expected);
}

void ListViewTest::typingFindsTheNextRow() {
    BrowserWorld world;
    for (const char* name : {"apple", "banana", "Banjo", "blueberry", "cherry"})
        world.makeFile(world.home() + "/Fruit/" + name);
    Browser b(world);
    showHomeFolder(b.list, {"Fruit"});
    QAbstractItemView* view = b.list.ActiveView();
    const auto focused = [&] {
        std::string name;
        b.list.ItemFocused()->GetDisplayName(name);
        return name;
    };
    // Keys typed within the input interval extend the search; a longer pause
    // starts a new one. The interval is set so that the machine's speed does
    // not matter: long while a search is extended, 1 ms before a new one.
    const int interval = QApplication::keyboardInputInterval();
    const auto type = [&](const char* text, bool newSearch) {
        QApplication::setKeyboardInputInterval(newSearch ? 1 : 60000);
        if (newSearch)
            QTest::qWait(20);
        QTest::keyClicks(view, QString::fromLatin1(text));
    };
    QCOMPARE(focused(), std::string("apple"));
    type("b", true);
    QCOMPARE(focused(), std::string("banana"));
    type("l", false); // "bl" goes on from there
    QCOMPARE(focused(), std::string("blueberry"));
    type("B", true); // the next one, from the top again, case ignored
    QCOMPARE(focused(), std::string("banana"));
    type("b", true);
    QCOMPARE(focused(), std::string("Banjo"));
    type("x", true);
    QCOMPARE(focused(), std::string("Banjo"));
    QApplication::setKeyboardInputInterval(interval);
    QCOMPARE(selectedRows(b.list), std::vector<int>{2});
}

void ListViewTest::selectionEventsAndTotals() {
    BrowserWorld world;
    world.makeDir(world.home() + "/Docs/d");
    world.makeFile(world.home() + "/Docs/s1", std::string(100, 's'));
    world.makeFile(world.home() + "/Docs/s2", std::string(2000, 's'));
    Browser b(world);
    showHomeFolder(b.list, {"Docs"});
    QSignalSpy changes(&b.list, &TCustomVelShListView::OnShSelectionChange);
    std::vector<std::pair<int, bool>> items;
    QObject::connect(&b.list, &TCustomVelShListView::OnSelectItem, &b.list,
                     [&](TVelShFileData* item, bool selected) {
                         items.emplace_back(item ? item->GetIndex() : -1, selected);
                     });
    TVelShFileList* list = b.list.ShFileList();

    selectRow(b.list, 1);
    QCOMPARE(list->SelectedSize(), std::uint64_t{100});
    selectRow(b.list, 2, true);
    QCOMPARE(list->SelectedSize(), std::uint64_t{2100});
    QCOMPARE(changes.count(), 2);
    selectRow(b.list, 0);
    QCOMPARE(list->SelectedSize(), std::uint64_t{0}); // a folder adds nothing
    QCOMPARE(items, (std::vector<std::pair<int, bool>>{
                        {1, true}, {2, true}, {1, false}, {2, false}, {0, true}}));
    b.list.SelectAll();
    QCOMPARE(list->SelectedCount(), 3);
    QCOMPARE(list->SelectedSize(), std::uint64_t{2100});
    QCOMPARE(items.back(), std::make_pair(-1, true)); // several rows at once
    b.list.ClearSelection();
    QCOMPARE(list->SelectedCount(), 0);
    QCOMPARE(list->SelectedSize(), std::uint64_t{0});
    QVERIFY(list->SelectedRows().empty());
}

void ListViewTest::dragCarriesTheSelectedRows() {
    BrowserWorld world;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        world.makeFile(world.home() + "/Docs/" + name);
    Browser b(world);
    b.list.SetViewStyle(vsReport);
    showHomeFolder(b.list, {"Docs"});
    selectRow(b.list, 0);
    selectRow(b.list, 2, true);
    std::vector<std::string> paths;
    b.list.OnShBeginDrag = [&](TCustomVelShListView*, TVelShIDList& ids, const QPoint&, int, int,
                               bool&) {
        for (int i = 0; i < ids.Count(); ++i) {
            std::string path;
            ids.GetPath(i, path);
            paths.push_back(path);
        }
    };
    QTreeView* view = b.list.DetailsView();
    const QPoint at = view->visualRect(b.list.ShModel()->index(2, 0)).center();
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
    sendMove(view->viewport(), at + QPoint(0, 2), Qt::LeftButton);
    sendMove(view->viewport(), at + QPoint(0, 12), Qt::LeftButton);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at + QPoint(0, 12));
    const std::string docs = world.home() + "/Docs/";
    QCOMPARE(paths, (std::vector<std::string>{docs + "a.txt", docs + "c.txt"}));
    QCOMPARE(selectedRows(b.list), (std::vector<int>{0, 2}));
}

void ListViewTest::columnLayoutSurvivesARestart() {
    BrowserWorld world;
    const std::string docs = world.home() + "/Docs";
    world.makeFile(docs + "/small.txt", "x");
    world.makeFile(docs + "/large.txt", std::string(5000, 'x'));
    {
        Browser b(world);
        b.list.SetViewStyle(vsReport);
        showHomeFolder(b.list, {"Docs"});
        b.list.Header()->resizeSection(0, 250);
        b.list.Header()->moveSection(b.list.Header()->visualIndex(2), 0);
        clickHeader(b.list, 1);
        // Sorting and reading the folder again leave the columns as the user set them.
        b.list.RefreshList();
        QCOMPARE(b.list.Header()->sectionSize(0), 250);
        QCOMPARE(b.list.Header()->visualIndex(2), 0);
    }
    const std::string text = readFile(world.memoryFile());
    QVERIFY2(text.find("\"" + docs + "\",1,1,250,1,2,") != std::string::npos, text.c_str());
    // A damaged line does not cost the others.
    world.makeFile(world.memoryFile(), "\"/broken\",x,1\r\n" + text);

    Browser b(world);
    b.list.SetViewStyle(vsReport);
    showHomeFolder(b.list, {"Docs"});
    QCOMPARE(b.list.Header()->sectionSize(0), 250);
    QCOMPARE(b.list.Header()->visualIndex(2), 0);
    QCOMPARE(b.list.ShFileList()->SortColumn(), 1);
    QCOMPARE(b.list.ShFileList()->SortDirection(1), -1);
    QCOMPARE(rowNames(b.list), std::string("large.txt,small.txt"));
    QCOMPARE(b.list.ColumnMemory().Find("/broken"), nullptr);
}

void ListViewTest::clipboardReportsShellItems() {
    BrowserWorld world;
    Browser b(world);
    QSignalSpy spy(&b.list, &TCustomVelShListView::OnShClipboard);
    auto* items = new QMimeData;
    TIDListPtr home = BrowserWorld::homeID();
    items->setData(QString::fromLatin1(kShellIDListArrayMime),
                   ShEncodeIDListArray(nullptr, {home.get()}));
    QGuiApplication::clipboard()->setMimeData(items);
    QTRY_VERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().at(0).toBool(), true);
    QGuiApplication::clipboard()->setText(QStringLiteral("plain"));
    QTRY_COMPARE(spy.last().at(0).toBool(), false);
}

void ListViewTest::suspendedNotificationKeepsTheFolders() {
    BrowserWorld world;
    world.makeDir(world.home() + "/A");
    world.makeDir(world.home() + "/B");
    Browser b(world);
    showHomeFolder(b.list, {"A"});
    const std::string a = world.home() + "/A/", bPath = world.home() + "/B/";
    QVERIFY(b.list.WatchedFolders() == (std::vector<std::string>{a, withSlash(world.desktop())}) ||
            b.list.WatchedFolders() == (std::vector<std::string>{withSlash(world.desktop()), a}));
    b.list.SuspendNotify(true);
    b.list.SuspendNotify(); // counted
    QVERIFY(b.list.WatchedFolders().empty());
    showHomeFolder(b.list, {"B"});
    b.list.ResumeNotify();
    QVERIFY(b.list.WatchedFolders().empty());
    b.list.ResumeNotify(true);
    const std::vector<std::string> watched = b.list.WatchedFolders();
    QVERIFY(std::find(watched.begin(), watched.end(), a) != watched.end());
    QVERIFY(std::find(watched.begin(), watched.end(), bPath) != watched.end());
}

// The large-icon style's thumbnails: type icons until a thumbnail is ready,
// thumbnails only there, cancelled with the folder, the rows in view first, a
// changed file made again; and the memory cache's bound and order.
#include "tests/shell/ui/tst_views.h"

#include "base/builtin_formats.h"
#include "shell/ui/list_thumbnails.h"
#include "tests/shell/views_support.h"
#include "tests/support/images.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// A producer over Qt's readers that can be held back: while closed, every call
// waits (at most 10 s) and notes whether its job was cancelled meanwhile. A
// cancelled call answers a green picture anyway, as a producer that ignores
// the flag would: the list must not show it.
class Probe {
public:
    TThumbnailProducer producer() {
        return [this](const std::string& path, int size,
                      const std::atomic<bool>* cancelled) -> std::optional<QImage> {
            bool sawCancel = false;
            {
                std::unique_lock<std::mutex> hold(lock_);
                asked_.push_back(path);
                nices_.insert(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())));
                ++running_;
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                const auto look = [&] {
                    if (!sawCancel && cancelled->load()) {
                        sawCancel = true;
                        ++cancelledSeen_;
                    }
                };
                while (!open_ && std::chrono::steady_clock::now() < until) {
                    look();
                    wake_.wait_for(hold, std::chrono::milliseconds(5));
                }
                look();
                --running_;
            }
            if (sawCancel) {
                QImage late(8, 8, QImage::Format_RGB32);
                late.fill(Qt::green);
                return late;
            }
            return reader_(path, size, cancelled);
        };
    }
    void setOpen(bool open) {
        const std::lock_guard<std::mutex> hold(lock_);
        open_ = open;
        wake_.notify_all();
    }
    int running() {
        const std::lock_guard<std::mutex> hold(lock_);
        return running_;
    }
    int cancelledSeen() {
        const std::lock_guard<std::mutex> hold(lock_);
        return cancelledSeen_;
    }
    std::vector<std::string> asked() {
        const std::lock_guard<std::mutex> hold(lock_);
        return asked_;
    }
    // The nice values of the threads the producer ran on.
    std::set<int> nices() {
        const std::lock_guard<std::mutex> hold(lock_);
        return nices_;
    }
    int timesAsked(const std::string& path) {
        const auto all = asked();
        return static_cast<int>(std::count(all.begin(), all.end(), path));
    }

private:
    const TThumbnailProducer reader_ = ShImageReaderThumbnails();
    std::mutex lock_;
    std::condition_variable wake_;
    bool open_ = true;
    int running_ = 0;
    int cancelledSeen_ = 0;
    std::vector<std::string> asked_;
    std::set<int> nices_;
};

QImage solid(QColor colour, int w = 60, int h = 40) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

QImage decorationOf(TCustomVelShListView& list, int row) {
    const QModelIndex index = list.ShModel()->index(row, 0);
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    return icon.pixmap(TShListThumbnails::kBox, TShListThumbnails::kBox)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

// The decoration's centre has the colour (a type icon never is pure red or blue).
bool centreIs(const QImage& image, QColor colour) {
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    return std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
           std::abs(c.blue() - colour.blue()) < 40;
}

void showFolder(TCustomVelShListView& list, const std::string& path) {
    TIDListPtr id = BrowserWorld::parse(path);
    list.SetFolder(id.get());
    QCOMPARE(shownPath(list), path);
}

void setModifiedLater(const std::string& path, int seconds) {
    struct stat st;
    QVERIFY(::stat(path.c_str(), &st) == 0);
    const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + seconds, 0}};
    QVERIFY(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
}

} // namespace

void ThumbnailTest::initTestCase() {
    registerBuiltinFormats(); // bmp: the rows' pictures
}

void ThumbnailTest::cleanupTestCase() {
    unregisterBuiltinFormats();
}

void ThumbnailTest::init() {
    liveIDs_ = BrowserWorld::liveIDs();
}

void ThumbnailTest::cleanup() {
    QCOMPARE(BrowserWorld::liveIDs(), liveIDs_);
}

void ThumbnailTest::picturesShowTypeIconsThenThumbnails() {
    BrowserWorld world;
    const std::string folder = world.home() + "/Photos";
    saveImage(solid(Qt::red), folder + "/red.bmp", "bmp");
    saveImage(solid(Qt::red, 40, 60), folder + "/.dim.bmp", "bmp");
    world.makeLink("red.bmp", folder + "/link.bmp");
    world.makeFile(folder + "/broken.bmp", "not a picture");
    world.makeFile(folder + "/memo.txt", "memo");
    Probe probe;
    probe.setOpen(false);
    Browser b(world);
    b.list.SetThumbnailProducer(probe.producer());
    QCOMPARE(b.list.IconView()->iconSize(), QSize(96, 96));
    showFolder(b.list, folder);
    const auto row = [&](const char* name) { return rowNamed(b.list, name); };
    const QImage typeIcon = decorationOf(b.list, row("red.bmp"));
    QVERIFY(!typeIcon.isNull());
    QVERIFY(!centreIs(typeIcon, Qt::red));

    QSignalSpy resets(b.list.ShModel(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(b.list.ShModel(), &QAbstractItemModel::dataChanged);
    probe.setOpen(true);
    QTRY_VERIFY(b.list.Thumbnails()->Waiting() == 0);
    QVERIFY(centreIs(decorationOf(b.list, row("red.bmp")), Qt::red));
    // A hidden picture is faded, a link's carries the arrow in its corner.
    const QImage dim = decorationOf(b.list, row(".dim.bmp"));
    QVERIFY(std::abs(dim.pixelColor(dim.width() / 2, dim.height() / 2).alpha() - 128) < 10);
    const QImage link = decorationOf(b.list, row("link.bmp"));
    QVERIFY(centreIs(link, Qt::red));
    QVERIFY(link != decorationOf(b.list, row("red.bmp")));
    // Neither a picture that cannot be read nor another file shows one.
    QCOMPARE(decorationOf(b.list, row("broken.bmp")), typeIcon);
    QVERIFY(!decorationOf(b.list, row("memo.txt")).isNull());
    QCOMPARE(probe.timesAsked(folder + "/memo.txt"), 0);
    QCOMPARE(probe.timesAsked(folder + "/broken.bmp"), 1);
    // Made in the background: the window's thread goes first.
    const int windowNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    QCOMPARE(probe.nices(), (std::set<int>{std::min(19, windowNice + 10)}));
    // Each thumbnail updated its own row.
    QCOMPARE(resets.count(), 0);
    QVERIFY(changes.count() >= 3);
    for (const QList<QVariant>& change : changes)
        QCOMPARE(change.at(0).toModelIndex(), change.at(1).toModelIndex());
}

void ThumbnailTest::otherStylesAskNothing_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("iconSide");
    QTest::newRow("small icons") << int(vsSmallIcon) << 16;
    QTest::newRow("list") << int(vsList) << 16;
    QTest::newRow("details") << int(vsReport) << 16;
}

void ThumbnailTest::otherStylesAskNothing() {
    QFETCH(int, style);
    QFETCH(int, iconSide);
    BrowserWorld world;
    const std::string folder = world.home() + "/Photos";
    saveImage(solid(Qt::red), folder + "/red.bmp", "bmp");
    Probe probe;
    Browser b(world);
    b.list.SetViewStyle(static_cast<TViewStyle>(style));
    b.list.SetThumbnailProducer(probe.producer());
    showFolder(b.list, folder);
    QTest::qWait(200);
    QVERIFY(probe.asked().empty());
    const QModelIndex index = b.list.ShModel()->index(0, 0);
    QVERIFY(
        !index.data(Qt::DecorationRole).value<QIcon>().availableSizes().contains(QSize(96, 96)));
    QCOMPARE(b.list.ActiveView()->iconSize(), QSize(iconSide, iconSide));
    // The large icons ask as soon as they are shown.
    b.list.SetViewStyle(vsIcon);
    QTRY_COMPARE(probe.asked().size(), std::size_t{1});
    QTRY_VERIFY(centreIs(decorationOf(b.list, 0), Qt::red));
}

void ThumbnailTest::anotherFolderCancelsAndLateResultsNeverShow() {
    BrowserWorld world;
    const std::string a = world.home() + "/A", other = world.home() + "/B";
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp"}) {
        saveImage(solid(Qt::red), a + "/" + name, "bmp");
        saveImage(solid(Qt::blue), other + "/" + name, "bmp");
    }
    Probe probe;
    probe.setOpen(false);
    Browser b(world);
    b.list.SetThumbnailProducer(probe.producer());
    showFolder(b.list, a);
    const int threads = b.list.Thumbnails()->Loader()->Threads();
    const int held = std::min(threads, 4);
    QTRY_COMPARE(probe.running(), held);
    // Every colour a row of A shows from now on.
    std::set<QRgb> seen;
    connect(b.list.ShModel(), &QAbstractItemModel::dataChanged, &b.list,
            [&](const QModelIndex& index) {
                if (shownPath(b.list) == a) {
                    const QImage image = decorationOf(b.list, index.row());
                    seen.insert(image.pixel(image.width() / 2, image.height() / 2) | 0xFF000000);
                }
            });
    showFolder(b.list, other);
    QTRY_COMPARE(probe.cancelledSeen(), held); // the running jobs were told
    showFolder(b.list, a);                     // asked again while the cancelled calls still run
    probe.setOpen(true);
    QTRY_VERIFY(b.list.Thumbnails()->Waiting() == 0);
    for (int row = 0; row < 4; ++row)
        QVERIFY(centreIs(decorationOf(b.list, row), Qt::red));
    QTest::qWait(100); // room for a late result
    QVERIFY(!seen.contains(QColor(Qt::green).rgb()));
    for (int row = 0; row < 4; ++row)
        QVERIFY(centreIs(decorationOf(b.list, row), Qt::red));
    // Nothing a cancelled call made was kept.
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp"}) {
        const auto kept = b.list.Thumbnails()->Memory().Peek(a + "/" + name, 96);
        QVERIFY(kept && centreIs(*kept, Qt::red));
    }
}

void ThumbnailTest::rowsInViewAreAskedFirst() {
    BrowserWorld world;
    const std::string folder = world.home() + "/Many";
    constexpr int kCount = 300;
    for (int i = 0; i < kCount; ++i)
        saveImage(solid(Qt::red, 4, 4), folder + "/p" + std::to_string(1000 + i) + ".bmp", "bmp");
    Probe probe;
    probe.setOpen(false);
    Browser b(world);
    b.list.SetThumbnailProducer(probe.producer());
    showFolder(b.list, folder);
    const int threads = b.list.Thumbnails()->Loader()->Threads();
    QTRY_COMPARE(probe.running(), threads);
    QListView* view = b.list.IconView();
    view->scrollTo(b.list.ShModel()->index(kCount / 2, 0), QAbstractItemView::PositionAtCenter);
    QVERIFY(view->verticalScrollBar()->value() > 0);
    QTest::qWait(20); // the loader is handed the new order once per turn
    std::set<std::string> inView;
    for (int row = 0; row < kCount; ++row) {
        if (view->visualRect(b.list.ShModel()->index(row, 0)).intersects(view->viewport()->rect()))
            inView.insert(folder + "/p" + std::to_string(1000 + row) + ".bmp");
    }
    QVERIFY(inView.size() >= 4);
    QVERIFY(!inView.contains(folder + "/p1000.bmp"));
    probe.setOpen(true);
    QTRY_VERIFY(b.list.Thumbnails()->Waiting() == 0);
    const std::vector<std::string> asked = probe.asked();
    QCOMPARE(asked.size(), std::size_t(kCount));
    // After the calls held at the top, the rows in view (workers may swap neighbours).
    const std::size_t firstAfter = std::min(asked.size(), inView.size() + 2 * threads);
    const std::set<std::string> early(asked.begin(), asked.begin() + firstAfter);
    for (const std::string& path : inView)
        QVERIFY2(early.contains(path), path.c_str());
}

void ThumbnailTest::aChangedFileIsMadeAgain() {
    BrowserWorld world;
    const std::string folder = world.home() + "/Photos";
    const std::string file = saveImage(solid(Qt::red), folder + "/photo.bmp", "bmp");
    world.makeFile(folder + "/memo.txt");
    Probe probe;
    Browser b(world);
    b.list.SetThumbnailProducer(probe.producer());
    showFolder(b.list, folder);
    const int row = rowNamed(b.list, "photo.bmp");
    QTRY_VERIFY(centreIs(decorationOf(b.list, row), Qt::red));
    QCOMPARE(probe.timesAsked(file), 1);
    saveImage(solid(Qt::blue), file, "bmp");
    setModifiedLater(file, 10);
    QTRY_VERIFY_WITH_TIMEOUT(
        centreIs(decorationOf(b.list, rowNamed(b.list, "photo.bmp")), Qt::blue), kNotifyWaitMs);
    QCOMPARE(probe.timesAsked(file), 2);
}

void ThumbnailTest::memoryKeepsTheRecentWithinItsBound_data() {
    // Operations: "+p" keeps p (made at time 1), "+p@2" at time 2, "+P" a picture
    // larger than the bound, "?p" uses p (made at time 1). Room for three.
    QTest::addColumn<QString>("operations");
    QTest::addColumn<QString>("held"); // what each path's entry was made at, in order
    QTest::newRow("the least recently kept goes") << "+a +b +c +d"
                                                  << "b@1 c@1 d@1";
    QTest::newRow("a use keeps it") << "+a +b +c ?a +d"
                                    << "a@1 c@1 d@1";
    QTest::newRow("a miss is no use") << "+a@2 +b +c ?a +d"
                                      << "b@1 c@1 d@1";
    QTest::newRow("a new time replaces") << "+a +b +a@2 +c +d"
                                         << "a@2 c@1 d@1";
    QTest::newRow("too large is not kept") << "+a +P +b"
                                           << "a@1 b@1";
}

void ThumbnailTest::memoryKeepsTheRecentWithinItsBound() {
    QFETCH(QString, operations);
    QFETCH(QString, held);
    const QImage small = solid(Qt::red, 10, 10).convertToFormat(QImage::Format_RGB32);
    const QImage large = solid(Qt::red, 40, 40).convertToFormat(QImage::Format_RGB32);
    TShThumbnailMemory memory(3 * TShThumbnailMemory::CostOf("a", small));
    for (const QString& op : operations.split(QLatin1Char(' '))) {
        const std::string path = op.mid(1, 1).toStdString();
        const std::int64_t time = op.contains(QLatin1Char('@')) ? op.section('@', 1).toInt() : 1;
        if (op.startsWith(QLatin1Char('?')))
            memory.Find(path, 96, 1);
        else
            memory.Insert(path, 96, time, path == "P" ? large : small);
        QVERIFY(memory.Bytes() <= memory.Budget());
    }
    QStringList found;
    for (const char* path : {"a", "b", "c", "d", "P"}) {
        std::int64_t time = 0;
        if (memory.Peek(path, 96, &time))
            found << QStringLiteral("%1@%2").arg(QLatin1String(path)).arg(time);
    }
    QCOMPARE(found.join(QLatin1Char(' ')), held);
    QVERIFY(!memory.Find("a", 128, 1)); // another size is another entry
}

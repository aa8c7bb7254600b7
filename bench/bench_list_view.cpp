// Opening a big folder in the file list control and scrolling through it.
//
//   bench_list_view [FOLDER] [REPS]
//
// FOLDER defaults to /tmp/kelvora-corpus/listing (20,000 files, made by
// make-corpus.sh); when it does not exist, 20,000 files are made in a
// temporary folder.
//
// Open: SetFolder (enumerate, sort by name) and the first paint of an
// 800 x 600 list, against readdir + lstat of the same folder in the same run.
// Target: at most 2 times that floor.
// Scroll: every screen of the list painted in turn, page by page, with the
// rows' texts and icons computed as they first come into view; against the
// same screens of a QTreeView over a QStandardItemModel that holds the same
// texts and icons ready-made. Target: a screen under 16 ms (95th percentile).
// Memory: heap bytes per row once the folder is shown, and once every row's
// texts have been computed.
#include "bench/listing_util.h"
#include "shell/ui/list_view.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <sys/stat.h>

using namespace kelvora;
using namespace bench;

namespace {

constexpr QSize kListSize(800, 600);

const char* styleName(TViewStyle style) {
    switch (style) {
    case vsIcon:
        return "large icons";
    case vsSmallIcon:
        return "small icons";
    case vsList:
        return "list";
    case vsReport:
        return "details";
    }
    return "";
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

std::unique_ptr<TVelShListView> makeList(TViewStyle style) {
    auto list = std::make_unique<TVelShListView>();
    list->SetColumnMemoryFile({});
    list->SetViewStyle(style);
    list->resize(kListSize);
    list->show();
    QApplication::processEvents();
    return list;
}

// The scroll bar that pages through the view (the list style scrolls sideways).
QScrollBar* pagingBar(QAbstractItemView* view) {
    return view->verticalScrollBar()->maximum() > 0 ? view->verticalScrollBar()
                                                    : view->horizontalScrollBar();
}

// Paints every screen once, page by page; returns the time of each screen.
std::vector<double> scrollThrough(QAbstractItemView* view) {
    QScrollBar* bar = pagingBar(view);
    std::vector<double> times;
    for (int value = 0;; value += bar->pageStep()) {
        const Times t = measure([&] {
            bar->setValue(std::min(value, bar->maximum()));
            view->viewport()->repaint();
        });
        times.push_back(t.wall);
        if (value >= bar->maximum())
            break;
    }
    return times;
}

void printScroll(const char* what, const std::vector<double>& times, double baseline) {
    const double p95 = percentile(times, 0.95);
    std::printf("  %-12s %5zu screens  median %6.2f ms  p95 %6.2f ms  max %6.2f ms", what,
                times.size(), median(times), p95, percentile(times, 1.0));
    if (baseline > 0)
        std::printf("  ratio %.2f", median(times) / baseline);
    std::printf("  %s\n", p95 < 16 ? "ok" : "OVER");
}

// The off-screen platform's note on every window shown would drown the figures.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (!message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                     qPrintable(message));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietHandler);
    std::string folder = argc > 1 ? argv[1] : "/tmp/kelvora-corpus/listing";
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyInterfaceFont(app);

    const ListingFolder listing(folder);
    if (!listing.ok())
        return 1;
    folder = listing.path();
    const std::size_t files = listing.entries();
    std::printf("folder %s: %zu entries, %d runs, list %dx%d\n\n", folder.c_str(), files, reps,
                kListSize.width(), kListSize.height());

    // --- open -------------------------------------------------------------------
    std::vector<double> floor;
    for (int i = 0; i < 2 * reps; ++i)
        floor.push_back(measure([&] { readdirAndLstat(folder); }).wall);
    std::printf("readdir + lstat (floor)          %8.2f ms  (median)\n", median(floor));
    bool openOk = true;
    for (const TViewStyle style : {vsIcon, vsReport}) {
        std::vector<double> open;
        double first = 0;
        for (int i = 0; i <= reps; ++i) {
            auto list = makeList(style);
            const Times t = measure([&] {
                list->SetFolder(listing.id());
                list->ActiveView()->viewport()->repaint();
            });
            if (list->ItemsCount() != static_cast<int>(files)) {
                std::fprintf(stderr, "listed %d of %zu entries\n", list->ItemsCount(), files);
                return 1;
            }
            if (i == 0)
                first = t.wall; // caches of the process still cold
            else
                open.push_back(t.wall);
        }
        const double ratio = median(open) / median(floor);
        openOk = openOk && ratio <= 2;
        std::printf("open, %-12s                %8.2f ms  ratio %.2f (target <= 2) %s"
                    "   first in the process %.2f ms\n",
                    styleName(style), median(open), ratio, ratio <= 2 ? "ok" : "OVER", first);
    }

    // --- scroll -----------------------------------------------------------------
    // The baseline: a plain Qt model holding the same texts and icons.
    QStandardItemModel plain(static_cast<int>(files), 4);
    {
        auto list = makeList(vsReport);
        list->SetFolder(listing.id());
        for (int row = 0; row < list->ItemsCount(); ++row) {
            for (int column = 0; column < 4; ++column) {
                const QModelIndex index = list->ShModel()->index(row, column);
                auto* item = new QStandardItem(index.data().toString());
                item->setData(index.data(Qt::DecorationRole), Qt::DecorationRole);
                item->setData(index.data(Qt::TextAlignmentRole), Qt::TextAlignmentRole);
                plain.setItem(row, column, item);
            }
        }
    }
    QTreeView plainView;
    plainView.setModel(&plain);
    plainView.setRootIsDecorated(false);
    plainView.setUniformRowHeights(true);
    plainView.resize(kListSize);
    plainView.show();
    QApplication::processEvents();
    const std::vector<double> plainTimes = scrollThrough(&plainView);
    std::printf("\nscrolling, a screen painted (first pass computes each row's texts):\n");
    printScroll("plain model", plainTimes, 0);
    bool scrollOk = true;
    for (const TViewStyle style : {vsIcon, vsSmallIcon, vsList, vsReport}) {
        auto list = makeList(style);
        list->SetFolder(listing.id());
        const std::vector<double> times = scrollThrough(list->ActiveView());
        scrollOk = scrollOk && percentile(times, 0.95) < 16;
        printScroll(styleName(style), times, style == vsReport ? median(plainTimes) : 0);
    }

    // --- memory -----------------------------------------------------------------
    {
        auto list = makeList(vsReport);
        malloc_trim(0);
        const std::size_t before = heapInUse();
        list->SetFolder(listing.id());
        list->ActiveView()->viewport()->repaint();
        const std::size_t shown = heapInUse();
        scrollThrough(list->ActiveView());
        const std::size_t computed = heapInUse();
        const double rows = static_cast<double>(list->ItemsCount());
        std::printf("\nmemory per row: %.0f bytes shown, %.0f bytes with every row's texts "
                    "computed\n",
                    static_cast<double>(shown - before) / rows,
                    static_cast<double>(computed - before) / rows);
    }

    return openOk && scrollOk ? 0 : 1;
}

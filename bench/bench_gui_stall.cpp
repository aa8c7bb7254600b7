// How long the folder browser holds up the GUI thread while it keeps up with a
// busy folder and a slow drive: the longest gap between ticks of a 1 ms timer.
//
//   bench_gui_stall [FOLDER] [DELAY_MS]
//
// DELAY_MS 0 puts the tree's five folders on a local disk instead, which
// leaves the list's part of the stall alone.
//
// A folder tree linked to a file list, shown at 1000 x 700 (off-screen). The
// list shows FOLDER (default /tmp/kelvora-corpus/listing, 20,000 files; made in
// a temporary folder when missing). While the timer ticks, another thread
// creates 1,000 files in that folder in bursts of 100, as a copy would, and the
// tree, whose root is a FUSE drive served by this benchmark that answers every
// question after DELAY_MS (default 50), opens its five folders one after
// another. The run ends when the list shows all 21,000 files and the five
// branches are open and filled (or after 60 s).
//
// Printed: the longest gap, the 99th percentile, the gaps over 16 ms, what the
// GUI thread was dispatching during the longest one, and the baseline: the
// same timer's longest gap over as long with nothing to do. Target: the longest
// gap under 16 ms.
//
// Needs root (the drive is mounted in a mount namespace of the benchmark's own).
#include "app/startup.h"
#include "bench/event_loop.h"
#include "bench/listing_util.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"
#include "tests/shell/hung_mount.h"
#include "tests/shell/slow_mount.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <thread>
#include <vector>

using namespace kelvora;
using namespace bench;

namespace {

constexpr int kNewFiles = 1000;
constexpr int kBurst = 100;
constexpr int kAlbums = 5;
constexpr int kTimeoutMs = 60000;
const char* const kNewPrefix = "kelvora-stall-new-";

// Times each event dispatched from the event loop itself (not nested ones) and
// keeps the longest, with what it was: where a long gap went.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0)
            return QApplication::notify(receiver, event);
        // The receiver may be gone once the event is handled (a single shot).
        const char* receiverClass = receiver->metaObject()->className();
        const int type = static_cast<int>(event->type());
        ++depth_;
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        --depth_;
        if (recording)
            note(ms, std::string(receiverClass) + ", event " + std::to_string(type) + ", during " +
                         phase);
        return done;
    }
    void note(double ms, std::string dispatched) {
        if (ms > 16)
            stalls.push_back({ms, dispatched});
        if (ms > longest) {
            longest = ms;
            what = std::move(dispatched);
        }
    }

    bool recording = false;
    double longest = 0;
    std::string what;
    std::string phase = "start";
    std::vector<std::pair<double, std::string>> stalls; // dispatches over 16 ms

private:
    int depth_ = 0;
};

// The gaps between ticks of a 1 ms precise timer.
class TickRecorder {
public:
    TickRecorder() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            gaps_.push_back(static_cast<double>(now - last_) / 1e6);
            last_ = now;
        });
    }
    void start() {
        gaps_.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    double stop() {
        timer_.stop();
        // The stretch since the last tick counts too: the run ends right after
        // the last piece of work.
        const qint64 now = clock_.nsecsElapsed();
        gaps_.push_back(static_cast<double>(now - last_) / 1e6);
        return static_cast<double>(now) / 1e6;
    }
    const std::vector<double>& gaps() const { return gaps_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> gaps_;
};

void removeNewFiles(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().filename().string().starts_with(kNewPrefix))
            std::filesystem::remove(entry.path(), ec);
    }
}

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (!message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                     qPrintable(message));
}

TVelShTreeNode* albumNode(TVelShTreeNode* root, int album) {
    const QString name = QStringLiteral("album%1").arg(album);
    for (int i = 0; root && i < root->Count(); ++i) {
        if (root->Child(i)->Text() == name)
            return root->Child(i);
    }
    return nullptr;
}

void printGaps(const char* what, std::vector<double> gaps) {
    const long over = std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 16; });
    std::printf("%-28s %6zu ticks  longest %8.2f ms  p99 %6.2f ms  over 16 ms: %ld\n", what,
                gaps.size(), percentile(gaps, 1.0), percentile(gaps, 0.99), over);
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietHandler);
    std::string folder = argc > 1 ? argv[1] : "/tmp/kelvora-corpus/listing";
    const int delayMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 50;
    if (!kelvora::test::EnterPrivateMountNamespace()) {
        std::printf("bench_gui_stall: skipped (needs root for a mount namespace)\n");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The heap as the program sets it up for its window.
    kelvora::releaseLargeBlocksAtOnce();

    char pattern[] = "/tmp/kelvora-stall-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string drive = dir + "/slow";
    int status = 0;
    {
        kelvora::test::SlowMount slow(delayMs > 0 ? drive : dir + "/unused",
                                      std::chrono::milliseconds(delayMs), kAlbums);
        if (delayMs == 0) {
            for (int a = 1; a <= kAlbums; ++a)
                for (int s = 1; s <= 3; ++s)
                    std::filesystem::create_directories(drive + "/album" + std::to_string(a) +
                                                        "/sub" + std::to_string(s));
        }
        if (!slow.mounted()) {
            std::printf("bench_gui_stall: skipped (%s)\n", slow.error().c_str());
            std::filesystem::remove_all(dir);
            return 0;
        }
        TimedApplication app(argc, argv);
        applyInterfaceFont(app);
        const ListingFolder listing(folder);
        if (!listing.ok())
            return 1;
        folder = listing.path();
        removeNewFiles(folder); // left over from a run that was stopped
        const int before = static_cast<int>(readdirAndLstat(folder));
        std::printf("folder %s: %d entries; slow drive answers after %d ms\n\n", folder.c_str(),
                    before, delayMs);

        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* tree = new TVelShTreeView(&window);
        auto* list = new TVelShListView(&window);
        list->SetColumnMemoryFile({});
        list->SetViewStyle(vsReport);
        layout->addWidget(tree, 1);
        layout->addWidget(list, 3);
        TVelShRoot root(nullptr, {});
        root.SetRootPath(drive);
        root.SetUsesID(false);
        tree->SetShRoot(root);
        list->SetShTreeView(tree);
        window.resize(1000, 700);
        window.show();
        list->SetFolder(listing.id());
        // The list shows the folder and the tree its root drive before the clock starts.
        if (!runUntil(
                [&] {
                    return list->ItemsCount() == before && tree->Root() &&
                           albumNode(tree->Root(), kAlbums);
                },
                kTimeoutMs)) {
            std::fprintf(stderr, "the list or the tree never showed (%d rows)\n",
                         list->ItemsCount());
            return 1;
        }
        // The window's first exposure and paint are the start-up's, not the
        // browser keeping up: they are over before the clock starts.
        runUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); },
                 kTimeoutMs);
        runUntil([] { return false; }, 300);

        TickRecorder ticks;
        app.recording = true;
        ticks.start();
        std::atomic<bool> copying{true};
        std::thread copy([&] {
            for (int i = 0; i < kNewFiles; ++i) {
                std::ofstream(folder + "/" + kNewPrefix + std::to_string(100000 + i) + ".jpg");
                if ((i + 1) % kBurst == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            copying = false;
        });
        int opened = 0;
        QElapsedTimer sinceOpen;
        sinceOpen.start();
        const bool finished = runUntil(
            [&] {
                // One branch opened every 100 ms, as a user clicking down the tree.
                if (opened < kAlbums && sinceOpen.elapsed() >= 100) {
                    if (TVelShTreeNode* node = albumNode(tree->Root(), opened + 1)) {
                        app.phase = "opening album" + std::to_string(opened + 1);
                        QElapsedTimer t;
                        t.start();
                        tree->expand(tree->IndexOf(node));
                        app.note(static_cast<double>(t.nsecsElapsed()) / 1e6,
                                 "the tree's expand, " + app.phase);
                        app.phase = "waiting after album" + std::to_string(opened + 1);
                        ++opened;
                        sinceOpen.restart();
                    }
                }
                if (opened < kAlbums || copying || list->ItemsCount() != before + kNewFiles)
                    return false;
                for (int a = 1; a <= kAlbums; ++a) {
                    TVelShTreeNode* node = albumNode(tree->Root(), a);
                    if (!node || !tree->isExpanded(tree->IndexOf(node)) || node->Count() == 0)
                        return false;
                }
                return true;
            },
            kTimeoutMs);
        const double duration = ticks.stop();
        app.recording = false;
        copy.join();
        const std::vector<double> busy = ticks.gaps();
        const double longestEvent = app.longest;
        const std::string where = app.what;
        const int rows = list->ItemsCount();
        delete tree; // before the drive goes; nothing is left to wake the loop
        delete list;

        // The baseline: the same timer over as long, with nothing else to do.
        ticks.start();
        runUntil([] { return false; }, static_cast<int>(duration));
        ticks.stop();

        std::printf("run: %.0f ms, list %d rows, %d branches opened%s\n\n", duration, rows, opened,
                    finished ? "" : " (TIMED OUT)");
        printGaps("browser busy", busy);
        printGaps("idle event loop (baseline)", ticks.gaps());
        const double longest = percentile(busy, 1.0);
        std::printf("longest gap / baseline's:    %.1f\n",
                    longest / std::max(0.001, percentile(ticks.gaps(), 1.0)));
        std::printf("longest single dispatch:     %.2f ms (%s)\n", longestEvent, where.c_str());
        for (const auto& [ms, what] : app.stalls)
            std::printf("  over 16 ms: %8.2f ms  %s\n", ms, what.c_str());
        std::printf("target: longest gap under 16 ms: %s\n", longest < 16 ? "ok" : "OVER");
        std::printf("slow drive: %ld questions answered\n", slow.answered());
        status = finished ? 0 : 1;
        removeNewFiles(folder);
    }
    ::umount2(drive.c_str(), MNT_DETACH);
    std::filesystem::remove_all(dir);
    return status;
}

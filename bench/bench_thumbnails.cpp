// The file list's thumbnails in the main window: how soon the first screen
// shows them, how long the GUI thread is held while they load, how fast they
// are made, and how much memory the program takes meanwhile.
//
//   bench_thumbnails [PHOTOS]
//
// A folder of 1000 photo-sized JPEGs, copies of the corpus's photographs
// (PHOTOS, default /tmp/kelvora-corpus/photos) made distinct by a trailer after
// their end, and 50 HEIC files (5 pictures encoded by heif-enc with an embedded
// thumbnail, made distinct by a trailing "free" box), made once in
// /var/tmp/kelvora-thumbnail-bench/album. The main window, off screen at its design size,
// in the large-icon style; the thumbnail cache in a temporary $XDG_CACHE_HOME.
//
// Printed, each against its target:
// 1. The first screen (the rows in view) with thumbnails, from an empty cache.
// 2. The same from a warm cache: the folder shown again (the list's memory),
//    and in a new window (the shared thumbnail cache on disk).
// 3. The longest gap between ticks of a 1 ms timer while the new window's
//    thumbnails load, the list scrolls a page every 100 ms to the end and a
//    picture in view is clicked (the preview) every 500 ms; against the same
//    timer idle. The clicks and the opening of the folder (SetFolder) are timed
//    on their own.
// 4. Thumbnails per second for all 1050 files (step 1's run), against
//    `vipsthumbnail -s 128` run as 2 processes on the same files.
// 5. The peak PSS of the program and its plug-in helpers (smaps_rollup) during
//    step 3, which scrolls through all the thumbnails.
#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "bench/bench_util.h"
#include "bench/event_loop.h"
#include "bench/listing_util.h"
#include "shell/ui/list_thumbnails.h"
#include "spi/decoder_process.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace kelvora;
using namespace bench;

namespace {

constexpr int kJpegs = 1000;
constexpr int kHeics = 50;
constexpr int kHeicSources = 5;
constexpr int kTimeoutMs = 300000;
// Under a quiet parent: the tree, which shows the parent open, is not kept busy
// by what other programs do in /tmp.
const char* const kFolder = "/var/tmp/kelvora-thumbnail-bench/album";
const char* const kHeicSourceFolder = "/var/tmp/kelvora-thumbnail-bench/heic-sources";
const char* const kOtherFolder = "/var/tmp/kelvora-thumbnail-bench/other";

// --- the folder --------------------------------------------------------------------

std::string numbered(const char* prefix, int n, const char* ext) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%04d.%s", prefix, n, ext);
    return name;
}

bool copyWithTrailer(const std::string& from, const std::string& to, const std::string& trailer) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to + ".part", std::ios::binary);
    out << in.rdbuf() << trailer;
    out.close();
    return in && out && std::rename((to + ".part").c_str(), to.c_str()) == 0;
}

// Starts argv with its standard error going nowhere; 0 when it cannot start.
pid_t spawnQuiet(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? 0 : pid;
}

int spawnWait(const std::vector<std::string>& argv) {
    const pid_t pid = spawnQuiet(argv);
    if (pid == 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The files of the folder, made when missing; empty when they cannot be made.
std::vector<std::string> benchFiles(const std::string& photos) {
    std::vector<std::string> sources = listFiles(photos, {".jpg"});
    if (sources.empty()) {
        std::fprintf(stderr, "no photos in %s (run /work/shared/bench/make-corpus.sh)\n",
                     photos.c_str());
        return {};
    }
    std::filesystem::create_directories(kFolder);
    std::vector<std::string> files;
    for (int i = 1; i <= kJpegs; ++i) {
        const std::string file = std::string(kFolder) + "/" + numbered("IMG_", i, "jpg");
        // After the end of the picture: no decoder reads it, but no two files are alike.
        if (!std::filesystem::exists(file) &&
            !copyWithTrailer(sources[static_cast<std::size_t>(i) % sources.size()], file,
                             "kelvora-bench-" + std::to_string(i)))
            return {};
        files.push_back(file);
    }
    // The smallest photographs make the HEIC files quick to encode.
    std::sort(sources.begin(), sources.end(), [](const std::string& a, const std::string& b) {
        return std::filesystem::file_size(a) < std::filesystem::file_size(b);
    });
    for (int i = 1; i <= kHeics; ++i) {
        const std::string file = std::string(kFolder) + "/" + numbered("IMG_", kJpegs + i, "heic");
        if (!std::filesystem::exists(file)) {
            const int source = (i - 1) % kHeicSources;
            std::filesystem::create_directories(kHeicSourceFolder);
            const std::string encoded =
                std::string(kHeicSourceFolder) + "/" + std::to_string(source) + ".heic";
            if (!std::filesystem::exists(encoded) &&
                spawnWait({"heif-enc", "-q", "50", "-t", "320", "-o", encoded,
                           sources[static_cast<std::size_t>(source)]}) != 0)
                return {};
            // An empty "free" box at the end: skipped by every reader, but no two files are alike.
            std::string box(8, '\0');
            box[3] = 16;
            box.replace(4, 4, "free");
            char number[9];
            std::snprintf(number, sizeof number, "%08d", i);
            if (!copyWithTrailer(encoded, file, box + number))
                return {};
        }
        files.push_back(file);
    }
    return files;
}

// --- measuring ---------------------------------------------------------------------

// Times each dispatch from the event loop itself and keeps the longest.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0)
            return QApplication::notify(receiver, event);
        const std::string what = std::string(receiver->metaObject()->className()) + ", event " +
                                 std::to_string(static_cast<int>(event->type()));
        ++depth_;
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        --depth_;
        if (recording && ms > longest) {
            longest = ms;
            longestWhat = what;
        }
        if (recording && ms > 16)
            stalls.emplace_back(ms, what);
        return done;
    }
    bool recording = false;
    double longest = 0;
    std::string longestWhat;
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
            longest_ = std::max(longest_, static_cast<double>(now - last_) / 1e6);
            last_ = now;
        });
    }
    void start() {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    double stop() {
        timer_.stop();
        return longest_;
    }
    // What happened since the last tick is not counted (the benchmark's own clicks).
    void skip() { last_ = clock_.nsecsElapsed(); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double longest_ = 0;
};

long pssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "Pss:" && in >> value)
            return value;
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

// The program's PSS and that of its children (the plug-in helpers).
long programPssKb() {
    long total = pssKb(::getpid());
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(proc)) {
            const pid_t pid = std::atoi(entry->d_name);
            if (pid <= 0)
                continue;
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            int ppid = 0;
            char state = 0;
            if (close != std::string::npos &&
                std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
                ppid == ::getpid())
                total += pssKb(pid);
        }
        ::closedir(proc);
    }
    return total;
}

// The rows the view shows now.
std::vector<int> rowsInView(TVelShListView& list) {
    QAbstractItemView* view = list.ActiveView();
    std::vector<int> rows;
    for (int row = 0; row < list.ItemsCount(); ++row) {
        if (view->visualRect(list.ShModel()->index(row, 0)).intersects(view->viewport()->rect()))
            rows.push_back(row);
    }
    return rows;
}

bool firstScreenShown(TVelShListView& list, const std::vector<int>& rows) {
    const TShListThumbnails* thumbnails = list.Thumbnails();
    return !rows.empty() &&
           std::none_of(rows.begin(), rows.end(), [&](int row) { return thumbnails->Waits(row); });
}

struct Window {
    TAppWindows windows;
    std::unique_ptr<TForm1> form;
    explicit Window(const std::string& memoryFile) {
        form = std::make_unique<TForm1>(windows, DefaultDialogs());
        windows.Form1 = form.get();
        form->VelShListView1->SetColumnMemoryFile(memoryFile);
        form->show();
        runUntil([] { return false; }, 300);
    }
    TVelShListView& list() { return *form->VelShListView1; }
};

// Shows the folder; the milliseconds until the rows then in view show their thumbnails.
// shown runs as soon as SetFolder returns.
double showFolder(TVelShListView& list, PCItemIDList id, std::vector<int>* inView = nullptr,
                  double* setFolderMs = nullptr, const std::function<void()>& shown = {}) {
    QElapsedTimer t;
    t.start();
    list.SetFolder(id);
    if (setFolderMs)
        *setFolderMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (shown)
        shown();
    std::vector<int> rows;
    runUntil(
        [&] {
            rows = rowsInView(list);
            return firstScreenShown(list, rows);
        },
        kTimeoutMs);
    list.ActiveView()->viewport()->repaint();
    if (inView)
        *inView = rows;
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double vipsSeconds(const std::vector<std::string>& files, const std::string& out) {
    std::filesystem::create_directories(out);
    std::vector<std::vector<std::string>> halves(2);
    for (std::size_t i = 0; i < files.size(); ++i)
        halves[i % 2].push_back(files[i]);
    const Clock::time_point start = Clock::now();
    std::vector<pid_t> pids;
    for (auto& half : halves) {
        std::vector<std::string> argv = {"vipsthumbnail", "-s", "128", "-o", out + "/%s.jpg"};
        argv.insert(argv.end(), half.begin(), half.end());
        const pid_t pid = spawnQuiet(argv);
        if (pid == 0)
            return -1;
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return secondsSince(start);
}

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (!message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                     qPrintable(message));
}

const char* verdict(bool ok) {
    return ok ? "ok" : "OVER";
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietHandler);
    const std::string photos = argc > 1 ? argv[1] : "/tmp/kelvora-corpus/photos";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::vector<std::string> files = benchFiles(photos);
    if (files.empty())
        return 1;

    // A world of the benchmark's own: the thumbnail cache, the plug-ins' settings.
    char pattern[] = "/tmp/kelvora-thumbs-XXXXXX";
    const std::string home = ::mkdtemp(pattern);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    std::filesystem::create_directories(home + "/config/Morvash");
    std::ofstream(home + "/config/Morvash/Susie.conf")
        << "[Plug-in]\nPath=" << KELVORA_PLUGIN_DIR << "\n";
    TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
    releaseLargeBlocksAtOnce();

    TimedApplication app(argc, argv);
    applyInterfaceFont(app);
    registerPictureFormats(32);
    const ListingFolder folder(kFolder);
    if (!folder.ok())
        return 1;
    TIDListPtr elsewhere;
    {
        PItemIDList parsed = nullptr;
        std::filesystem::create_directories(kOtherFolder);
        TVelShID::IDParse(kOtherFolder, parsed);
        elsewhere.reset(parsed);
    }
    std::printf("folder %s: %d JPEG, %d HEIC; %d worker threads\n\n", kFolder, kJpegs, kHeics,
                std::max(2, static_cast<int>(std::thread::hardware_concurrency())));

    // 1. and 4.: an empty cache, the first screen and then every thumbnail.
    auto first = std::make_unique<Window>(home + "/kelvora.dat");
    std::vector<int> inView;
    QElapsedTimer all;
    all.start();
    const double cold = showFolder(first->list(), folder.id(), &inView);
    runUntil([&] { return first->list().Thumbnails()->Waiting() == 0; }, kTimeoutMs);
    const double allSeconds = static_cast<double>(all.nsecsElapsed()) / 1e9;
    int made = 0;
    for (int row = 0; row < first->list().ItemsCount(); ++row)
        made += first->list().Thumbnails()->HasThumbnail(row);

    // 2. The folder shown again, then in a new window.
    first->list().SetFolder(elsewhere.get()); // empty: no first screen to wait for
    runUntil([] { return false; }, 300);
    double againSetFolder = 0;
    const double again = showFolder(first->list(), folder.id(), nullptr, &againSetFolder);
    first.reset();
    auto second = std::make_unique<Window>(home + "/kelvora.dat");
    TVelShListView& list = second->list();
    const long startKb = programPssKb();
    TickRecorder ticks;
    ticks.start();
    app.recording = true;
    // Opening the folder (reading it, the model's reset) is no part of loading
    // thumbnails: it is timed on its own, as in step 2.
    double freshSetFolder = 0;
    const double fresh =
        showFolder(list, folder.id(), nullptr, &freshSetFolder, [&] { ticks.skip(); });

    // 3. and 5.: scrolling to the end and clicking pictures while the thumbnails load.
    QScrollBar* bar = list.ActiveView()->verticalScrollBar();
    QElapsedTimer step;
    step.start();
    long peakKb = programPssKb();
    int clicks = 0;
    double longestClick = 0;
    std::set<int> clicked;
    const bool finished = runUntil(
        [&] {
            if (step.elapsed() >= 100) {
                step.restart();
                bar->setValue(bar->value() + bar->pageStep());
                peakKb = std::max(peakKb, programPssKb());
                ticks.skip(); // reading /proc is the benchmark's own work
                if (++clicks % 5 == 0) {
                    const std::vector<int> rows = rowsInView(list);
                    if (!rows.empty()) {
                        QAbstractItemView* view = list.ActiveView();
                        const QRect at = view->visualRect(list.ShModel()->index(rows.front(), 0));
                        QElapsedTimer click;
                        click.start();
                        app.recording = false;
                        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.center());
                        app.recording = true;
                        longestClick =
                            std::max(longestClick, static_cast<double>(click.nsecsElapsed()) / 1e6);
                        ticks.skip(); // the click is timed on its own
                        clicked.insert(rows.front());
                    }
                }
            }
            return bar->value() == bar->maximum() && list.Thumbnails()->Waiting() == 0;
        },
        kTimeoutMs);
    const double stall = ticks.stop();
    app.recording = false;
    peakKb = std::max(peakKb, programPssKb());
    const int rows = list.ItemsCount();
    second.reset();

    ticks.start();
    runUntil([] { return false; }, 2000);
    const double idle = ticks.stop();

    const double vips = vipsSeconds(files, home + "/vips");

    std::printf("rows in view (the first screen): %zu; rows %d; thumbnails made %d\n\n",
                inView.size(), rows, made);
    std::printf("%-58s %9.1f ms  target 1000 ms: %s\n", "1. first screen, empty cache", cold,
                verdict(cold < 1000));
    std::printf("%-58s %9.1f ms  target 100 ms: %s\n", "2. first screen, folder shown again", again,
                verdict(again < 100));
    std::printf("   of which showing the rows (SetFolder)                    %9.1f ms\n",
                againSetFolder);
    std::printf("%-58s %9.1f ms  target 100 ms: %s\n",
                "   first screen, new window (producer's cache)", fresh, verdict(fresh < 100));
    std::printf("   of which showing the rows (SetFolder)                    %9.1f ms\n",
                freshSetFolder);
    std::printf("%-58s %9.2f ms  target 16 ms: %s%s\n", "3. longest stall: loading, scrolling",
                stall, verdict(stall < 16), finished ? "" : " (TIMED OUT)");
    std::printf(
        "   longest click on a picture (the preview), %zu pictures  %9.2f ms  target 16 ms: "
        "%s\n",
        clicked.size(), longestClick, verdict(longestClick < 16));
    std::printf(
        "   baseline: idle event loop                                %9.2f ms  ratio %.1f\n", idle,
        stall / std::max(0.001, idle));
    std::printf("   longest dispatch %.2f ms (%s)\n", app.longest, app.longestWhat.c_str());
    std::sort(app.stalls.rbegin(), app.stalls.rend());
    for (std::size_t i = 0; i < app.stalls.size() && i < 5; ++i)
        std::printf("   over 16 ms: %8.2f ms  %s\n", app.stalls[i].first,
                    app.stalls[i].second.c_str());
    const double ours = static_cast<double>(files.size()) / allSeconds;
    const double theirs = vips > 0 ? static_cast<double>(files.size()) / vips : 0;
    std::printf("%-58s %9.1f /s\n", "4. thumbnails per second, all files", ours);
    std::printf(
        "   baseline: vipsthumbnail -s 128, 2 processes              %9.1f /s  ratio %.2f: %s\n",
        theirs, theirs > 0 ? ours / theirs : 0.0, verdict(ours >= theirs));
    std::printf("%-58s %9.1f MiB  target 150 MiB: %s\n", "5. peak memory (PSS, with helpers)",
                static_cast<double>(peakKb) / 1024, verdict(peakKb < 150 * 1024));
    std::printf("   the window before its thumbnails                         %9.1f MiB\n",
                static_cast<double>(startKb) / 1024);
    std::filesystem::remove_all(home);
    return finished ? 0 : 1;
}

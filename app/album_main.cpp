// kelvora-album [options] PAGE.html PICTURE...
#include "album/album_run.h"
#include "album/rerun_plan.h"
#include "album/staged_file.h"
#include "app/album_command.h"
#include "app/startup.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "spi/spis.h"

#include <QGuiApplication>
#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gSignal{0};

// SIGINT and SIGTERM are taken by a thread of their own, so that the run stops at
// its next look and removes its temporary files itself; a second signal removes
// them at once and ends the process. Blocked before any other thread starts, so
// that no other thread receives them.
void watchSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        for (int count = 0;; ++count) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0)
                continue;
            gSignal = signal;
            gStop = true;
            if (count > 0) {
                kelvora::DiscardAllStagedFiles();
                _exit(128 + signal);
            }
        }
    }).detach();
}

// The command speaks for itself; Qt's own warnings (a missing XDG_RUNTIME_DIR, say)
// are no business of its user.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    kelvora::releaseLargeBlocksAtOnce();
    watchSignals();
    qInstallMessageHandler(quietQt);
    // Pictures are decoded and drawn off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const kelvora::TPictureFormatsScope formats(32);
    const std::unique_ptr<kelvora::TSPIs> plugins = kelvora::loadPlugins();

    // From argv itself: QCoreApplication::arguments() has lost the bytes of names that
    // are not valid in the code page.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << kelvora::toLosslessQ(argv[i]);
    const kelvora::TAlbumCommandParse parsed = kelvora::ParseAlbumCommand(arguments);
    if (!parsed.command) {
        std::fputs(parsed.output.toLocal8Bit().constData(), parsed.exitCode ? stderr : stdout);
        return parsed.exitCode;
    }
    kelvora::TAlbumRunResult result;
    try {
        result = kelvora::RunAlbumCommand(*parsed.command, STDERR_FILENO, &gStop);
    } catch (const kelvora::EAbort& e) {
        std::fprintf(stderr, "kelvora-album: %s\n", e.message().toLocal8Bit().constData());
        return 128 + (gSignal ? gSignal.load() : SIGINT);
    } catch (const kelvora::Exception& e) {
        std::fprintf(stderr, "kelvora-album: %s\n",
                     kelvora::AlbumErrorText(e).toLocal8Bit().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-album: %s\n", e.what());
        return 1;
    }
    QString done =
        QStringLiteral("完了しました: %1\n").arg(kelvora::toDisplayQ(parsed.command->htmlFileName));
    if (const QString skipped = kelvora::SkippedPicturesText(result); !skipped.isEmpty())
        done += skipped + QLatin1Char('\n');
    std::fputs(done.toLocal8Bit().constData(), stdout);
    const QString notTrashed = kelvora::NotTrashedText(result.notTrashed);
    if (!notTrashed.isEmpty())
        std::fprintf(stderr, "kelvora-album: %s\n", notTrashed.mid(1).toLocal8Bit().constData());
    // An album with pictures missing is not what was asked for: scripts can tell.
    return result.skipped.empty() ? 0 : 3;
}

// kelvora-album [options] PAGE.html PICTURE...
#include "app/album_command.h"
#include "app/startup.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "spi/spis.h"

#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // Pictures are decoded and drawn off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    kelvora::registerPictureFormats(32);
    const std::unique_ptr<kelvora::TSPIs> plugins = kelvora::loadPlugins();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const kelvora::TAlbumCommandParse parsed = kelvora::ParseAlbumCommand(arguments);
    if (!parsed.command) {
        std::fputs(parsed.output.toLocal8Bit().constData(), parsed.exitCode ? stderr : stdout);
        return parsed.exitCode;
    }
    try {
        kelvora::RunAlbumCommand(*parsed.command, STDERR_FILENO);
    } catch (const kelvora::Exception& e) {
        std::fprintf(stderr, "kelvora-album: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-album: %s\n", e.what());
        return 1;
    }
    const QString done =
        QStringLiteral("完了しました: %1\n").arg(kelvora::toQ(parsed.command->htmlFileName));
    std::fputs(done.toLocal8Bit().constData(), stdout);
    return 0;
}

#include "tests/support/browser.h"

#include "tests/support/temp_dir.h"

#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <filesystem>
#include <fstream>

namespace kelvora::test {

bool haveChromium() {
    return std::filesystem::exists(kChromium);
}

QString renderedDom(const std::string& file, const std::string& profile) {
    QProcess p;
    p.start(QString::fromLatin1(kChromium),
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + QString::fromStdString(profile), "--virtual-time-budget=10000",
             "--dump-dom", QUrl::fromLocalFile(QString::fromStdString(file)).toString()});
    if (!p.waitForFinished(120000))
        p.kill();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString loadedPictures(const std::string& page, const std::string& profile) {
    // Beside the page, so that its relative links resolve the same way.
    const std::string probe = page.substr(0, page.rfind('/')) + "/probe.html";
    {
        std::ofstream out(probe, std::ios::binary);
        out << readFile(page)
            << "<script>window.addEventListener('load', () => {"
               " const all = Array.from(document.images);"
               " const ok = all.filter(i => i.complete && i.naturalWidth > 0);"
               " document.title = 'LOADED ' + ok.length + ' OF ' + all.length; });"
               "</script>\r\n";
    }
    const QString dom = renderedDom(probe, profile);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("<title>(LOADED \\d+ OF \\d+)</title>")).match(dom);
    return m.hasMatch() ? m.captured(1) : dom;
}

} // namespace kelvora::test

#include "base/shell_opener.h"

#include <QFile>
#include <QProcess>

namespace kelvora {

bool TXdgOpener::open(const std::string& target) {
    // File names go through the file-name codec, so names that are not valid
    // UTF-8 still reach xdg-open as the bytes on disk.
    return QProcess::startDetached(QStringLiteral("xdg-open"),
                                   {QFile::decodeName(QByteArray::fromStdString(target))});
}

TShellOpener& DefaultShellOpener() {
    static TXdgOpener opener;
    return opener;
}

} // namespace kelvora

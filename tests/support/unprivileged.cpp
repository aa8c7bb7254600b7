#include "tests/support/unprivileged.h"

#include <QProcess>
#include <QStringList>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::test {

CommandResult runAsNobody(const std::vector<std::string>& argv) {
    QStringList args{QStringLiteral("--reuid=%1").arg(kNobody),
                     QStringLiteral("--regid=%1").arg(kNobody), QStringLiteral("--clear-groups"),
                     QStringLiteral("--")};
    for (const std::string& a : argv)
        args << QString::fromStdString(a);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("setpriv"), args);
    CommandResult r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.output = p.readAll().toStdString();
    return r;
}

void handToNobody(const std::string& path, unsigned mode) {
    if (::chown(path.c_str(), kNobody, kNobody) != 0 || ::chmod(path.c_str(), mode) != 0)
        throw std::runtime_error("cannot hand " + path + " to nobody");
}

} // namespace kelvora::test

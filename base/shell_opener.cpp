#include "base/shell_opener.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <memory>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kelvora {
namespace {

// Waits for the child on a thread of its own, so that no zombie stays behind.
void reapInBackground(pid_t pid) {
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// One watched opener: a pidfd that becomes readable when the child ends, and the
// patience timer. Lives on the context's thread, as the context's child.
class ExitWatch : public QObject {
public:
    ExitWatch(pid_t pid, int pidfd, int patienceMs, QObject* context,
              std::function<void(bool)> done)
        : QObject(context), pid_(pid), pidfd_(pidfd), done_(std::move(done)),
          notifier_(pidfd, QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { exited(); });
        QTimer::singleShot(patienceMs, this, [this] { giveUp(); });
    }
    ~ExitWatch() override {
        if (pidfd_ >= 0) {
            // The context went (or patience ran out) before the child ended.
            notifier_.setEnabled(false);
            ::close(pidfd_);
            reapInBackground(pid_);
        }
    }

private:
    void exited() {
        notifier_.setEnabled(false);
        int status = 0;
        pid_t got;
        while ((got = ::waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (got == 0) {
            notifier_.setEnabled(true); // not ended after all
            return;
        }
        ::close(pidfd_);
        pidfd_ = -1;
        finish(got == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    void giveUp() { finish(true); }
    void finish(bool ok) {
        const auto done = std::move(done_);
        deleteLater();
        if (done)
            done(ok);
    }

    pid_t pid_;
    int pidfd_;
    std::function<void(bool)> done_;
    QSocketNotifier notifier_;
};

} // namespace

void TShellOpener::openChecked(const std::string& target, QObject* context,
                               std::function<void(bool)> done) {
    const bool ok = open(target);
    QMetaObject::invokeMethod(
        context, [ok, done = std::move(done)] { done(ok); }, Qt::QueuedConnection);
}

int TXdgOpener::spawn(const std::string& target) const {
    // The target goes to the opener as it is: a file name's bytes, whether or not the
    // code page can show them (a QString would turn what it cannot decode into
    // U+FFFD and so name another file).
    const char* argv[] = {program_.c_str(), target.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return -1;
    return pid;
}

bool TXdgOpener::open(const std::string& target) {
    const pid_t pid = spawn(target);
    if (pid < 0)
        return false;
    // xdg-open may wait for the application it starts; it is reaped whenever it ends,
    // without holding anything up.
    reapInBackground(pid);
    return true;
}

void TXdgOpener::openChecked(const std::string& target, QObject* context,
                             std::function<void(bool)> done) {
    const pid_t pid = spawn(target);
    const int pidfd = pid < 0 ? -1 : openPidfd(pid);
    if (pidfd < 0) {
        if (pid >= 0)
            reapInBackground(pid);
        QMetaObject::invokeMethod(
            context, [ok = pid >= 0, done = std::move(done)] { done(ok); }, Qt::QueuedConnection);
        return;
    }
    new ExitWatch(pid, pidfd, patienceMs_, context, std::move(done));
}

TShellOpener& DefaultShellOpener() {
    static TXdgOpener opener;
    return opener;
}

} // namespace kelvora

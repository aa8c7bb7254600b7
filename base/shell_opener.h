#pragma once
// Opening a document or link with the application the desktop associates with it.
// Windows take an opener so that tests can see what would have been opened.
//
// openChecked also tells how it went, without blocking: the opener's exit is watched
// through a pidfd on the GUI thread's event loop. An opener that is still running after
// the patience (10 s by default) counts as a success: xdg-open may wait for the
// application it started. It is reaped whenever it ends, by a detached thread that
// touches nothing else. Without pidfds (Linux before 5.3) only the start is checked.
#include <QObject>
#include <functional>
#include <string>

namespace kelvora {

class TShellOpener {
public:
    virtual ~TShellOpener() = default;
    // A file path (byte string) or a URL; true when the opener could be started.
    virtual bool open(const std::string& target) = 0;
    // Opens target and later calls done on context's thread with false when the opener
    // could not be started or failed; done is dropped when context goes first. This
    // default reports what open returns.
    virtual void openChecked(const std::string& target, QObject* context,
                             std::function<void(bool ok)> done);
};

// Runs a program (xdg-open by default) with the target's bytes as they are.
class TXdgOpener : public TShellOpener {
public:
    explicit TXdgOpener(std::string program = "xdg-open", int patienceMs = 10000)
        : program_(std::move(program)), patienceMs_(patienceMs) {}
    bool open(const std::string& target) override;
    void openChecked(const std::string& target, QObject* context,
                     std::function<void(bool ok)> done) override;

private:
    // The child's id, or -1 when it could not be started.
    int spawn(const std::string& target) const;

    std::string program_;
    int patienceMs_;
};

TShellOpener& DefaultShellOpener();

} // namespace kelvora

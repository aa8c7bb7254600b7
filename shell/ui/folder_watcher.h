#pragma once
// TShFolderWatcher: a control's change notification. It owns the control's
// TShNotifyThread and hands its callbacks on as folderChanged, and it keeps the
// folders the control wants watched through suspensions.
//
// Suspending is counted: the first Suspend empties the thread's list, the
// matching Resume gives it the folders wanted by then (those it watched, with
// the changes asked for meanwhile). Nothing waits for the thread: settings take
// effect on it a moment later, and the control goes on at once.
//
// GUI thread only. The thread is stopped in the destructor, before anything else
// goes; a thread that ended by itself (an error) is forgotten and Thread() is
// null from then on.
#include "shell/notify/notify_thread.h"

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TShFolderWatcher : public QObject {
    Q_OBJECT
public:
    TShFolderWatcher(std::uint8_t filter, bool subtree, QObject* parent = nullptr);
    ~TShFolderWatcher() override;

    // Null once the thread has ended.
    TShNotifyThread* Thread() const { return thread_.get(); }
    // Ends the thread now (the owner is being destroyed).
    void Stop();

    void Suspend();
    void Resume();
    bool Suspended() const { return suspended_ > 0; }

    // While suspended these are kept for Resume; otherwise they go to the thread
    // (AddFolder raises EShNotifyError when the thread's list is full).
    void SetFolders(const std::vector<std::string>& folders);
    void AddFolder(const std::string& path);
    void RemoveFolder(const std::string& path);
    void SetFilter(std::uint8_t filter);
    void SetPriorityFolders(const std::vector<std::string>& folders);
    // What the thread watches now (each ending in "/").
    std::vector<std::string> Folders() const;

signals:
    void folderChanged(const std::string& path);

private:
    std::unique_ptr<TShNotifyThread> thread_;
    std::vector<std::string> wanted_; // while suspended
    int suspended_ = 0;
};

} // namespace kelvora

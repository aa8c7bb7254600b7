#pragma once
// TVelShListWatcher: what keeps the file list's folders current. The folder of
// every cached list is watched without its subfolders (a TShFolderWatcher), the
// shown one always among them; a folder leaves the watch with the last list
// that shows it. A refused watch (the thread's limit) is ignored: that folder is
// then simply not kept current.
//
// While a mouse button is held down on the list (Hold), changes wait for its
// release, so that no row moves under the pointer and none is lost.
//
// GUI thread only; the notification thread is stopped in Stop or the destructor.
#include "shell/items/file_list.h"
#include "shell/ui/folder_watcher.h"

#include <QObject>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TVelShListWatcher : public QObject {
    Q_OBJECT
public:
    TVelShListWatcher(std::uint8_t filter, const TVelShFileLists& cache, QObject* parent = nullptr);

    TShFolderWatcher& Folders() { return watcher_; }
    TShNotifyThread* Thread() const { return watcher_.Thread(); }
    void Stop() { watcher_.Stop(); }

    void Watch(TVelShFileList* list);
    void Unwatch(TVelShFileList* list);
    // Lists that left the cache: their folders leave the watch.
    void Release(std::vector<std::unique_ptr<TVelShFileList>> lists);
    void Hold(bool held);

signals:
    void folderChanged(const std::string& path);

private:
    void changed(const std::string& path);

    TShFolderWatcher watcher_;
    const TVelShFileLists& cache_;
    std::vector<std::string> held_; // changes that came while a button was down
    bool holding_ = false;
};

} // namespace kelvora

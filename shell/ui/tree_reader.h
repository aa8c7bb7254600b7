#pragma once
// TVelShTreeReader: reads folder-tree branches on worker threads, for folders on
// drives whose every question may take long (network, FUSE, removable media),
// so that opening or refreshing such a branch never holds the window up.
//
// A worker of the global thread pool runs TVelShTreeModel::Read on its own copy
// of the request (the branch's ID, the model's options) and a folder object it
// binds itself, learning everything the nodes will show, then hands the reading
// to the GUI thread by a queued call. Nothing on the worker touches a node, an
// item of the tree or anything of Qt's GUI. A reading is known by the branch's
// ID, never by a node pointer: whoever takes it finds the node again (it may be
// gone). Only the newest request per branch counts: a reading asked for before
// the branch's latest Read, or before Cancel, is dropped when it arrives, and
// so is every reading once the reader is gone (nothing waits for a worker).
//
// Threads: Read, Reading, Cancel and the callback belong to the GUI thread.
#include "shell/ui/tree_model.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

namespace kelvora {

class TVelShTreeReader : public QObject {
    Q_OBJECT
public:
    // refresh: the reading was asked for by a refresh rather than an opening.
    using TArrived =
        std::function<void(PCItemIDList id, TVelShTreeModel::TReading reading, bool refresh)>;

    explicit TVelShTreeReader(TArrived arrived, QObject* parent = nullptr);

    // Reads the request's branch anew; the reading arrives through the callback
    // unless the branch is read again, or Cancel comes, first.
    void Read(TVelShTreeModel::TReadRequest request, bool refresh);
    // A reading of the branch id is on its way.
    bool Reading(PCItemIDList id) const;
    // Drops every reading on its way.
    void Cancel() { pending_.clear(); }

private:
    struct TPending {
        TIDListPtr id;
        std::uint64_t serial = 0;
        bool refresh = false;
    };
    void arrived(std::uint64_t serial, TVelShTreeModel::TReading reading);

    TArrived arrived_;
    std::vector<TPending> pending_; // one per branch, few at a time
    std::uint64_t serial_ = 0;
};

} // namespace kelvora

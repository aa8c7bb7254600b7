#pragma once
// TVelShListReader: reads the file list's folder again on a worker thread, so
// that a folder of tens of thousands of items, or one on a slow drive, never
// holds the window up while it is kept current.
//
// The worker does what touches the disk or costs time: it binds the folder,
// enumerates it, orders the items by the list's sort column (readdir, lstat,
// collation) and makes them rows, then hands the finished reading to the GUI
// thread by a queued call, as Qt's own file-system model does. There the list
// takes the rows as its own (TVelShFileList::Adopt), which needs no disk. Only the newest request counts: a reading asked
// for before the latest Read or Cancel is dropped when it arrives, and so is
// every reading once the reader is gone (nothing waits for the worker).
//
// Threads: Read, Cancel and the callback belong to the GUI thread; the worker
// runs on the global thread pool and touches nothing but its own request and
// reading.
#include "shell/items/file_list.h"

#include <QObject>
#include <cstdint>
#include <functional>

namespace kelvora {

class TVelShListReader : public QObject {
    Q_OBJECT
public:
    using TArrived = std::function<void(TVelShFileList* list, TVelShFileList::TReading reading)>;

    explicit TVelShListReader(TArrived arrived, QObject* parent = nullptr);

    // Reads list's folder anew; the reading arrives through the callback,
    // unless another Read or a Cancel came first.
    void Read(TVelShFileList* list, std::uint32_t flags);
    // Drops the reading on its way, if any.
    void Cancel();
    // A reading is on its way.
    bool Reading() const { return pending_; }

private:
    void arrived(std::uint64_t serial, TVelShFileList* list, TVelShFileList::TReading reading);

    TArrived arrived_;
    std::uint64_t serial_ = 0;
    bool pending_ = false;
};

} // namespace kelvora

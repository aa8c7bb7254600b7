#include "shell/ui/tree_reader.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <memory>

namespace kelvora {

TVelShTreeReader::TVelShTreeReader(TArrived arrived, QObject* parent)
    : QObject(parent), arrived_(std::move(arrived)) {}

void TVelShTreeReader::Read(TVelShTreeModel::TReadRequest request, bool refresh) {
    if (!request.folderID)
        return;
    const std::uint64_t serial = ++serial_;
    const PCItemIDList id = request.folderID.get();
    auto known = std::find_if(pending_.begin(), pending_.end(), [&](const TPending& p) {
        return TVelShID::IDIsEqual(p.id.get(), id);
    });
    if (known == pending_.end())
        known = pending_.insert(pending_.end(), TPending{TIDListPtr(TVelShID::IDClone(id))});
    known->serial = serial;
    // A refresh still owed stays owed when an opening overtakes it.
    known->refresh = known->refresh || refresh;

    auto shared = std::make_shared<TVelShTreeModel::TReadRequest>(std::move(request));
    // The guard is made here and only read on the GUI thread: a reader gone by
    // then drops the reading.
    const QPointer<TVelShTreeReader> guard(this);
    QThreadPool::globalInstance()->start([shared, guard, serial] {
        auto reading = std::make_shared<TVelShTreeModel::TReading>(
            TVelShTreeModel::Read(*shared, nullptr, true));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, serial, reading] {
                if (guard)
                    guard->arrived(serial, std::move(*reading));
            },
            Qt::QueuedConnection);
    });
}

bool TVelShTreeReader::Reading(PCItemIDList id) const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const TPending& p) { return TVelShID::IDIsEqual(p.id.get(), id); });
}

void TVelShTreeReader::arrived(std::uint64_t serial, TVelShTreeModel::TReading reading) {
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const TPending& p) { return p.serial == serial; });
    if (it == pending_.end())
        return; // read again since, or no longer wanted
    const TPending done = std::move(*it);
    pending_.erase(it);
    arrived_(done.id.get(), std::move(reading), done.refresh);
}

} // namespace kelvora

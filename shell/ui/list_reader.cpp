#include "shell/ui/list_reader.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <memory>

namespace kelvora {

TVelShListReader::TVelShListReader(TArrived arrived, QObject* parent)
    : QObject(parent), arrived_(std::move(arrived)) {}

void TVelShListReader::Read(TVelShFileList* list, std::uint32_t flags) {
    const std::uint64_t serial = ++serial_;
    pending_ = true;
    auto request = std::make_shared<TVelShFileList::TReadRequest>(list->MakeReadRequest(flags));
    // The guard is made here and only read on the GUI thread: a reader gone by
    // then drops the reading.
    const QPointer<TVelShListReader> guard(this);
    QThreadPool::globalInstance()->start([request, guard, serial, list] {
        auto reading = std::make_shared<TVelShFileList::TReading>(TVelShFileList::Read(*request));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, serial, list, reading] {
                if (guard)
                    guard->arrived(serial, list, std::move(*reading));
            },
            Qt::QueuedConnection);
    });
}

void TVelShListReader::Cancel() {
    ++serial_;
    pending_ = false;
}

void TVelShListReader::arrived(std::uint64_t serial, TVelShFileList* list,
                               TVelShFileList::TReading reading) {
    if (serial != serial_)
        return; // asked for again, or no longer wanted
    pending_ = false;
    arrived_(list, std::move(reading));
}

} // namespace kelvora

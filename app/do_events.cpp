#include "app/do_events.h"

#include <QCoreApplication>

namespace kelvora {

void DoEvents() {
    // Posted deferred deletions are left to the main loop, as a plain pump would.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace kelvora

#include "base/do_events.h"

#include <QCoreApplication>

namespace kelvora {

void DoEvents() {
    // Handles what is queued now, window-system events included; never blocks.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace kelvora

#pragma once
// Running the event loop until a condition holds, as the program's own loop runs:
// asleep while nothing happens. A loop that polls would take a core from the
// workers whose speed the benchmarks measure.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace bench {

// Whether done() held within timeoutMs; done is looked at after every batch of
// events and at least every 2 ms.
template <class Done> bool runUntil(Done done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(2);
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench

#pragma once
// The hourglass while a control enumerates or sorts a folder. Nests: the cursor
// comes back when the outermost guard ends. Harmless without a GUI application.
#include <QCursor>
#include <QGuiApplication>

namespace kelvora {

class TShBusyCursor {
public:
    TShBusyCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (active_)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TShBusyCursor() {
        if (active_)
            QGuiApplication::restoreOverrideCursor();
    }
    TShBusyCursor(const TShBusyCursor&) = delete;
    TShBusyCursor& operator=(const TShBusyCursor&) = delete;

private:
    bool active_;
};

} // namespace kelvora

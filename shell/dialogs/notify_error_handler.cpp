#include "shell/dialogs/notify_error_handler.h"

#include "shell/notify/sh_thread.h"

#include <QPointer>
#include <QWidget>

namespace kelvora {

void ShInstallNotifyErrorHandler(TDialogs& dialogs, QWidget* window) {
    QPointer<QWidget> parent(window);
    setShThreadErrorHandler(
        [&dialogs, parent](const QString& message) { dialogs.showError(parent, message); });
}

void ShRemoveNotifyErrorHandler() {
    setShThreadErrorHandler(nullptr);
}

} // namespace kelvora

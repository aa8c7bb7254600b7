#pragma once
// What the program installs at start-up so that errors of the folder browser's
// worker threads (a failed wait, a notification callback that raised, such as
// EShNotifyError "監視するフォルダ数が上限を超えています。") reach the user as
// any unhandled error of a handler does: in an error message over the window.
#include "ui/dialogs.h"

class QWidget;

namespace kelvora {

// window may go away before the program ends; messages then have no parent.
void ShInstallNotifyErrorHandler(TDialogs& dialogs, QWidget* window);
// Back to the default (the text goes to the log).
void ShRemoveNotifyErrorHandler();

} // namespace kelvora

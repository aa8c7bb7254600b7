#pragma once
// The program's answers to TShOperationUi: the conflict dialog, the progress
// dialog and, when an operation ends with failures, one error message listing them.
#include "shell/ops/drop_target.h"
#include "ui/dialogs.h"

#include <QPointer>
#include <QWidget>

namespace kelvora {

class TShOperationDialogs : public TShOperationUi {
public:
    // parent: the window the dialogs belong to (may be null).
    explicit TShOperationDialogs(TDialogs& dialogs, QWidget* parent = nullptr);

    TShConflictAnswer AskConflict(const TShConflict& conflict) override;
    void OperationStarted(TShFileOperation& operation) override;
    void OperationFinished(TShFileOperation& operation) override;

    // The failures of a result as one message (at most kMaxErrorLines lines).
    static QString ErrorText(const TShOperationResult& result);
    static constexpr int kMaxErrorLines = 20;

private:
    TDialogs& dialogs_;
    QPointer<QWidget> parent_;
};

} // namespace kelvora

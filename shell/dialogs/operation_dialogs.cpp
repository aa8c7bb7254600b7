#include "shell/dialogs/operation_dialogs.h"
#include "shell/shell_texts.h"

#include "shell/dialogs/conflict_dialog.h"
#include "shell/dialogs/operation_progress.h"

namespace kelvora {

TShOperationDialogs::TShOperationDialogs(TDialogs& dialogs, QWidget* parent)
    : dialogs_(dialogs), parent_(parent) {}

TShConflictAnswer TShOperationDialogs::AskConflict(const TShConflict& conflict) {
    TShConflictDialog dialog(conflict, parent_);
    dialog.exec();
    return dialog.Answer();
}

void TShOperationDialogs::OperationStarted(TShFileOperation& operation) {
    new TShOperationProgress(operation, parent_); // closes and deletes itself
}

void TShOperationDialogs::OperationFinished(TShFileOperation& operation) {
    const QString text = ErrorText(operation.Result());
    if (!text.isEmpty())
        dialogs_.showError(parent_, text);
}

QString TShOperationDialogs::ErrorText(const TShOperationResult& result) {
    const QStringList& errors = result.errors;
    if (errors.isEmpty())
        return {};
    QStringList lines = errors.mid(0, kMaxErrorLines);
    if (errors.size() > kMaxErrorLines)
        lines << VelShCst::Text(VelShCst::SMoreErrors).arg(errors.size() - kMaxErrorLines);
    return lines.join(QLatin1Char('\n'));
}

} // namespace kelvora

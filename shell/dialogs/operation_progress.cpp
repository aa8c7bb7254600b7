#include "shell/dialogs/operation_progress.h"
#include "shell/shell_texts.h"

namespace kelvora {

namespace {
constexpr int kSteps = 1000;
}

QString TShOperationProgress::Caption(TShFileOp op) {
    switch (op) {
    case TShFileOp::Copy:
        return VelShCst::Text(VelShCst::SCopying);
    case TShFileOp::Move:
        return VelShCst::Text(VelShCst::SMoving);
    case TShFileOp::Link:
        return VelShCst::Text(VelShCst::SLinking);
    case TShFileOp::Trash:
        return VelShCst::Text(VelShCst::STrashing);
    }
    return {};
}

TShOperationProgress::TShOperationProgress(TShFileOperation& operation, QWidget* parent)
    : QProgressDialog(Caption(operation.Job().op), VelShCst::Text(VelShCst::SCancel), 0, kSteps,
                      parent),
      operation_(&operation) {
    setWindowTitle(Caption(operation.Job().op));
    setMinimumDuration(kShowAfterMs);
    setAutoClose(false);
    setAutoReset(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setValue(0);
    connect(&operation, &TShFileOperation::progress, this,
            &TShOperationProgress::operationProgress);
    connect(&operation, &TShFileOperation::finished, this, &QWidget::close);
    connect(&operation, &QObject::destroyed, this, &QWidget::close);
    connect(this, &QProgressDialog::canceled, this, &TShOperationProgress::cancelClick);
}

void TShOperationProgress::operationProgress(qint64 done, qint64 total, const QString& item) {
    if (wasCanceled())
        return;
    setLabelText(Caption(operation_ ? operation_->Job().op : TShFileOp::Copy) + QLatin1Char('\n') +
                 item);
    if (total > 0)
        setValue(static_cast<int>(std::min<qint64>(done, total) * kSteps / total));
}

void TShOperationProgress::cancelClick() {
    if (operation_)
        operation_->Cancel();
    setLabelText(VelShCst::Text(VelShCst::SCancelling));
}

} // namespace kelvora

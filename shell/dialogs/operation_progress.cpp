#include "shell/dialogs/operation_progress.h"

namespace kelvora {

namespace {
constexpr int kSteps = 1000;
}

QString TShOperationProgress::Caption(TShFileOp op) {
    switch (op) {
    case TShFileOp::Copy:
        return QStringLiteral("コピーしています...");
    case TShFileOp::Move:
        return QStringLiteral("移動しています...");
    case TShFileOp::Link:
        return QStringLiteral("リンクを作成しています...");
    case TShFileOp::Trash:
        return QStringLiteral("ごみ箱に移動しています...");
    }
    return {};
}

TShOperationProgress::TShOperationProgress(TShFileOperation& operation, QWidget* parent)
    : QProgressDialog(Caption(operation.Job().op), QStringLiteral("キャンセル"), 0, kSteps, parent),
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
    setLabelText(QStringLiteral("キャンセルしています..."));
}

} // namespace kelvora

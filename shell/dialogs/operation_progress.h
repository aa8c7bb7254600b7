#pragma once
// The progress of a file operation, with a button that cancels it. Shows only
// when the operation takes longer than half a second; closes itself when the
// operation ends or goes away.
#include "shell/ops/file_operation.h"

#include <QPointer>
#include <QProgressDialog>

namespace kelvora {

class TShOperationProgress : public QProgressDialog {
    Q_OBJECT
public:
    static constexpr int kShowAfterMs = 500;

    TShOperationProgress(TShFileOperation& operation, QWidget* parent = nullptr);

    // "コピーしています..." and the like.
    static QString Caption(TShFileOp op);

private:
    void operationProgress(qint64 done, qint64 total, const QString& item);
    void cancelClick();

    QPointer<TShFileOperation> operation_;
};

} // namespace kelvora

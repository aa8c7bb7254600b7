#pragma once
// The question put when an item dropped on a folder would take a name already
// in use: overwrite (for folders: put the contents together), skip, keep both
// with a number, or cancel the whole operation; optionally for all that follow.
#include "shell/ops/file_operation.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kelvora {

class TShConflictDialog : public QDialog {
    Q_OBJECT
public:
    TShConflictDialog(const TShConflict& conflict, QWidget* parent = nullptr);

    // The user's choice once the dialog has closed (Cancel when it was closed
    // any other way).
    TShConflictAnswer Answer() const;

    QLabel* lblMessage;
    QLabel* lblExisting;
    QLabel* lblIncoming;
    QCheckBox* chkApplyToAll;
    QPushButton* btnOverwrite;
    QPushButton* btnSkip;
    QPushButton* btnRename;
    QPushButton* btnCancel;

private:
    void btnOverwriteClick();
    void btnSkipClick();
    void btnRenameClick();
    void btnCancelClick();
    void choose(TShConflictAnswer::Choice choice);

    TShConflictAnswer::Choice choice_ = TShConflictAnswer::Cancel;
};

// "1,024KB、2001/02/03 14:05" for files, the date alone for folders.
QString ShConflictItemText(bool folder, std::uint64_t size, std::int64_t time);

} // namespace kelvora

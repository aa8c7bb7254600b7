#include "shell/dialogs/conflict_dialog.h"
#include "shell/shell_texts.h"

#include "base/codepage.h"
#include "shell/items/file_types.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvora {

QString ShConflictItemText(bool folder, std::uint64_t size, std::int64_t time) {
    const QString date = toQ(ShDateText(time));
    return folder ? VelShCst::Text(VelShCst::SFolderModifiedAt).arg(date)
                  : VelShCst::Text(VelShCst::SItemModifiedAt).arg(toQ(ShSizeText(size)), date);
}

TShConflictDialog::TShConflictDialog(const TShConflict& conflict, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(VelShCst::Text(VelShCst::SConfirm));
    const std::string& target = conflict.target;
    const QString name = toDisplayQ(target.substr(target.rfind('/') + 1));
    const bool folders = conflict.sourceIsFolder && conflict.targetIsFolder;
    lblMessage = new QLabel(folders ? VelShCst::Text(VelShCst::SFolderExists).arg(name)
                                    : VelShCst::Text(VelShCst::SItemExists).arg(name),
                            this);
    lblExisting = new QLabel(VelShCst::Text(VelShCst::SExistingItem)
                                 .arg(ShConflictItemText(conflict.targetIsFolder,
                                                         conflict.targetSize, conflict.targetTime)),
                             this);
    lblIncoming = new QLabel(VelShCst::Text(VelShCst::SIncomingItem)
                                 .arg(ShConflictItemText(conflict.sourceIsFolder,
                                                         conflict.sourceSize, conflict.sourceTime)),
                             this);
    chkApplyToAll = new QCheckBox(VelShCst::Text(VelShCst::SApplyToAll), this);
    btnOverwrite = new QPushButton(VelShCst::Text(VelShCst::SOverwrite), this);
    btnSkip = new QPushButton(VelShCst::Text(VelShCst::SSkip), this);
    btnRename = new QPushButton(VelShCst::Text(VelShCst::SKeepBoth), this);
    btnCancel = new QPushButton(VelShCst::Text(VelShCst::SCancel), this);
    // Replacing is never the default: Enter keeps both.
    btnRename->setDefault(true);
    btnOverwrite->setEnabled(conflict.sourceIsFolder == conflict.targetIsFolder);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {btnOverwrite, btnSkip, btnRename, btnCancel})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage);
    layout->addWidget(lblExisting);
    layout->addWidget(lblIncoming);
    layout->addWidget(chkApplyToAll);
    layout->addLayout(buttons);

    connect(btnOverwrite, &QPushButton::clicked, this, &TShConflictDialog::btnOverwriteClick);
    connect(btnSkip, &QPushButton::clicked, this, &TShConflictDialog::btnSkipClick);
    connect(btnRename, &QPushButton::clicked, this, &TShConflictDialog::btnRenameClick);
    connect(btnCancel, &QPushButton::clicked, this, &TShConflictDialog::btnCancelClick);
}

void TShConflictDialog::choose(TShConflictAnswer::Choice choice) {
    choice_ = choice;
    if (choice == TShConflictAnswer::Cancel)
        reject();
    else
        accept();
}

void TShConflictDialog::btnOverwriteClick() {
    choose(TShConflictAnswer::Overwrite);
}

void TShConflictDialog::btnSkipClick() {
    choose(TShConflictAnswer::Skip);
}

void TShConflictDialog::btnRenameClick() {
    choose(TShConflictAnswer::RenameWithNumber);
}

void TShConflictDialog::btnCancelClick() {
    choose(TShConflictAnswer::Cancel);
}

TShConflictAnswer TShConflictDialog::Answer() const {
    const TShConflictAnswer::Choice choice =
        result() == QDialog::Accepted ? choice_ : TShConflictAnswer::Cancel;
    return {choice, choice != TShConflictAnswer::Cancel && chkApplyToAll->isChecked()};
}

} // namespace kelvora

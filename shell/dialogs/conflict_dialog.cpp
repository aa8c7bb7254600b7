#include "shell/dialogs/conflict_dialog.h"

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
    return folder ? QStringLiteral("フォルダー、更新日時 %1").arg(date)
                  : QStringLiteral("%1、更新日時 %2").arg(toQ(ShSizeText(size)), date);
}

TShConflictDialog::TShConflictDialog(const TShConflict& conflict, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("確認"));
    const std::string& target = conflict.target;
    const QString name = toDisplayQ(target.substr(target.rfind('/') + 1));
    const bool folders = conflict.sourceIsFolder && conflict.targetIsFolder;
    lblMessage = new QLabel(
        folders
            ? QStringLiteral("このフォルダーには「%1」という名前のフォルダーが既にあります。\n"
                             "上書きすると、両方のフォルダーの内容がまとめられます。")
                  .arg(name)
            : QStringLiteral("このフォルダーには「%1」という名前の項目が既にあります。").arg(name),
        this);
    lblExisting = new QLabel(QStringLiteral("既にある項目: %1")
                                 .arg(ShConflictItemText(conflict.targetIsFolder,
                                                         conflict.targetSize, conflict.targetTime)),
                             this);
    lblIncoming = new QLabel(QStringLiteral("新しい項目: %1")
                                 .arg(ShConflictItemText(conflict.sourceIsFolder,
                                                         conflict.sourceSize, conflict.sourceTime)),
                             this);
    chkApplyToAll = new QCheckBox(QStringLiteral("以降の重複にも同じ処理をする(&A)"), this);
    btnOverwrite = new QPushButton(QStringLiteral("上書き(&O)"), this);
    btnSkip = new QPushButton(QStringLiteral("スキップ(&S)"), this);
    btnRename = new QPushButton(QStringLiteral("番号を付けて残す(&R)"), this);
    btnCancel = new QPushButton(QStringLiteral("キャンセル"), this);
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

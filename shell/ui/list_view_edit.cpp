// Label editing in the file list: renaming a row's item in its folder.
#include "base/codepage.h"
#include "shell/ui/list_model.h"
#include "shell/ui/list_view.h"
#include "shell/ui/view_link.h"

#include <QAbstractItemView>
#include <memory>

namespace kelvora {

namespace {

QByteArray IDBytesOf(PCItemIDList id) {
    return QByteArray(reinterpret_cast<const char*>(IDBytes(id)), TVelShID::IDSize(id));
}

} // namespace

void TCustomVelShListView::SetReadOnly(bool value) {
    readOnly_ = value;
    const QAbstractItemView::EditTriggers triggers =
        value ? QAbstractItemView::NoEditTriggers
              : QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked;
    iconView_->setEditTriggers(triggers);
    detailsView_->setEditTriggers(triggers);
    if (value)
        model_->SetRenameRow(nullptr);
    else
        model_->SetRenameRow(
            [this](TVelShFileData* row, const QString& text) { return renameRow(row, text); });
}

bool TCustomVelShListView::ViewCanEdit(const QModelIndex& index) {
    TVelShFileData* row = model_->RowData(index);
    return !readOnly_ && !mouseDown_ && row && row->IsValid() && row->HasAttribute(SFGAO_CANRENAME);
}

bool TCustomVelShListView::renameRow(TVelShFileData* row, const QString& text) {
    std::string name;
    row->GetDisplayName(name);
    if (text == toDisplayQ(name))
        return false; // no new text (the editor starts with the name as shown)
    using SharedID = std::shared_ptr<ItemIDList>;
    const SharedID oldID(TVelShID::IDClone(row->GetAbsoluteID()), TIDListDeleter());
    QString error;
    if (!row->RenameRow(fromQ(text), &error)) {
        dialogs_->showError(window(), error);
        return false; // the row shows the name it had
    }
    model_->RowChanged(row->GetIndex());
    const SharedID newID(TVelShID::IDClone(row->GetAbsoluteID()), TIDListDeleter());
    const SharedID folderID(TVelShID::IDClone(row->List()->FolderID()), TIDListDeleter());
    const bool folder = row->HasAttribute(SFGAO_FOLDER);
    // The row moves to its place once the editor has closed: reading the rows
    // into the views again would take the editor away under the view's feet.
    QMetaObject::invokeMethod(
        this,
        [this, oldID, newID, folderID, folder] {
            TVelShFileList* list = ShFileList();
            if (list && TVelShID::IDIsEqual(list->FolderID(), folderID.get())) {
                list->Sort(list->SortColumn());
                display(list);
            }
            dropCachedLists(true);
            if (folder && link_)
                emit link_->ListItemRenamed(IDBytesOf(oldID.get()), IDBytesOf(newID.get()));
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace kelvora

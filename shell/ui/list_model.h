#pragma once
// TVelShListModel: the shown folder's rows as a Qt table model. The model
// holds no data of its own: the row count is the list's, and a row's caption,
// icon and detail texts come from its TVelShFileData, which computes each on
// first request and keeps it. Columns are the list's captions.
//
// The large-icon style's thumbnails come through a decoration hook.
// Switching folders or re-reading one resets the model; the list view then
// puts the rows' selection and focus back. Names are editable while a rename
// handler is set. GUI thread only.
#include "shell/items/file_list.h"

#include <QAbstractTableModel>
#include <functional>

namespace kelvora {

class TVelShListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The row's TVelShFileData (as a pointer in a QVariant).
    static constexpr int ShDataRole = Qt::UserRole + 1;
    // True for the row a drag would drop on.
    static constexpr int DropHighlightRole = Qt::UserRole + 2;
    // Renames a row's item to an edit's text; false when it was not renamed.
    using TRenameRow = std::function<bool(TVelShFileData* row, const QString& text)>;
    // A row's icon in place of its usual one; an invalid variant keeps the usual one.
    using TDecorate = std::function<QVariant(int row, TVelShFileData* data)>;

    explicit TVelShListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    TVelShFileList* List() const { return list_; }
    // Shows another list (or the same one after it changed).
    void SetList(TVelShFileList* list);
    TVelShFileData* RowData(const QModelIndex& index) const;
    TVelShFileData* RowData(int row) const { return list_ ? list_->Items(row) : nullptr; }
    // Null: names cannot be edited.
    void SetRenameRow(TRenameRow rename) { rename_ = std::move(rename); }
    // The row drawn as the drop's target; -1 for none.
    int DropRow() const { return dropRow_; }
    void SetDropRow(int row);
    // A row's texts and look changed.
    void RowChanged(int row);
    void SetDecorate(TDecorate decorate) { decorate_ = std::move(decorate); }
    // A row's icon changed (its name column alone).
    void DecorationChanged(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    TVelShFileList* list_ = nullptr;
    TRenameRow rename_;
    TDecorate decorate_;
    int dropRow_ = -1;
};

} // namespace kelvora

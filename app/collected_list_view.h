#pragma once
// The list box of the collected list (ListBox1): several entries can be selected, and
// the album's order is changed by dragging the selected entries to another place or
// with Ctrl+Up / Ctrl+Down (one step; the selection follows). Files dragged in from the
// file list or from another program (text/uri-list of file URLs) are added where they
// are dropped, folders by their pictures (TPictureCollector), skipping what is listed.
//
// A drop from outside is taken as a copy (or a link when that is all the source
// offers), never as a move, so the source never deletes what it dragged. The entries
// dragged within the list travel under a type of the list's own that no other
// program, nor the file list, takes: dropped anywhere else they do nothing.
//
// Delete asks for the selected entries to be removed (deleteRequested); the window
// decides. GUI thread only.
#include <QListView>

namespace kelvora {

class TCollectedList;

class TCollectedListView : public QListView {
    Q_OBJECT
public:
    explicit TCollectedListView(TCollectedList& list, QWidget* parent = nullptr);

    // The selected rows, ascending.
    std::vector<int> SelectedRows() const;
    // The row a drop at pos (in the viewport) goes before: below the middle of an
    // entry, after it; under the last entry, the end.
    int DropRowAt(const QPoint& pos) const;

signals:
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Whether data is ours to take and with which action; Qt::IgnoreAction if not.
    Qt::DropAction actionFor(const QMimeData* mime, Qt::DropActions offered) const;

    TCollectedList& list_;
};

} // namespace kelvora

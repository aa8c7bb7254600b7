#pragma once
// TShDropTarget: what a folder of the tree or the list does with items dragged
// onto it. The controls pass the drag data, the item under the pointer (its
// absolute ID) and the keys held; the target answers with the effect to show
// and, on a drop, starts the file operation.
//
// The effect follows the usual file-manager rule: Shift moves, Ctrl copies,
// Ctrl+Shift links; without a key, items on the target's file system are moved
// and others copied. Only what the drag source allows is offered (a move falls
// back to a copy). Nothing is offered onto a file, a read-only folder, the
// folder the items already are in, or into a dragged folder itself; the trash
// takes items by moving them into it.
//
// GUI thread only. The operations run on their own threads (file_operation.h);
// several may run at once. Questions, progress and errors go through TShOperationUi.
#include "shell/items/drag_object.h"
#include "shell/ops/file_operation.h"
#include "shell/items/id_list.h"

#include <QMimeData>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

// The shell's drop effects.
enum class TShDropEffect { None = 0, Copy = 1, Move = 2, Link = 4 };

Qt::DropAction ShDropAction(TShDropEffect effect);

// What the user is shown and asked while files are copied (GUI thread).
class TShOperationUi {
public:
    virtual ~TShOperationUi() = default;
    virtual TShConflictAnswer AskConflict(const TShConflict& conflict) = 0;
    // The operation has started: show its progress (and a way to cancel it).
    virtual void OperationStarted(TShFileOperation& operation) = 0;
    // It has ended: close the progress, report what failed.
    virtual void OperationFinished(TShFileOperation& operation) = 0;
};

// The items of a drag and what they allow, read once per drag.
struct TShDropSources {
    std::vector<std::string> paths; // every item's path; empty when one has none
    bool canMove = false;           // every item may leave its folder
    bool fromTrash = false;         // items of the trash (no path of their own)
};
TShDropSources ShDropSourcesOf(TVelShDragObject& drag);

// The effect for sources over the target item (absolute ID).
TShDropEffect ShDropEffectFor(const TShDropSources& sources, PCItemIDList target,
                              Qt::KeyboardModifiers keys, Qt::DropActions allowed);

class TShDropTarget : public QObject {
    Q_OBJECT
public:
    static constexpr Qt::DropActions kAllActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

    explicit TShDropTarget(TShOperationUi& ui, QObject* parent = nullptr);
    ~TShDropTarget() override;

    // Whether drag data can be dropped here at all (shell items or local files).
    static bool Accepts(const QMimeData* data);

    TShDropEffect DragEnter(const QMimeData* data, PCItemIDList target, Qt::KeyboardModifiers keys,
                            Qt::DropActions allowed = kAllActions);
    TShDropEffect DragOver(PCItemIDList target, Qt::KeyboardModifiers keys,
                           Qt::DropActions allowed = kAllActions);
    void DragLeave();
    // Performs the drop: starts the operation and answers the effect it carries
    // out (None when nothing was started).
    TShDropEffect Drop(const QMimeData* data, PCItemIDList target, Qt::KeyboardModifiers keys,
                       Qt::DropActions allowed = kAllActions);

    // Operations started and not yet finished.
    int RunningOperations() const { return static_cast<int>(operations_.size()); }
    // The items of the drag under way.
    const TShDropSources& Sources() const { return sources_; }
    // Cancels every running operation (they finish soon after).
    void CancelAll();

signals:
    void operationFinished(const kelvora::TShOperationResult& result);

private:
    void enter(const QMimeData* data);

    TShOperationUi& ui_;
    std::unique_ptr<TVelShDragObject> drag_;
    TShDropSources sources_;
    std::vector<TShFileOperation*> operations_;
};

} // namespace kelvora

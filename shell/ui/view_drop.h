#pragma once
// TShViewDrop: what the folder tree and the file list share while shell items
// are dragged over them and dropped.
//
// Design
// - One TShDropTarget per control answers the effect for the item under the
//   pointer (the keys held, what the source allows) and carries out drops on
//   worker threads (drop_target.h). Its questions and progress go to the
//   control's operation UI: one given to the control, else the program's
//   Japanese conflict and progress dialogs over the control's window.
// - The drag data is read once, when the drag enters (DragObject, what the
//   controls' drag events receive).
// - A target is asked about only when its drive or folder is known to answer
//   (drive_ready.h). Nothing waits for that: while a drive is being asked, its
//   folders take no drop; the answer, once in, is kept until the drag ends.
// - The steps of the controls' drag events that do not depend on what is under
//   the pointer (EnterEvent, DropEvent) are here, so the tree and the list
//   differ only in how they find the item under the pointer.
//
// GUI thread only. Destroying it cancels the operations still running and waits
// for their threads.
#include "shell/ops/drop_target.h"
#include "ui/dialogs.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <map>
#include <memory>

class QDragEnterEvent;
class QDropEvent;
class QWidget;

namespace kelvora {

// Answers a drag's movement or drop: the effect's action, accepted, or the
// event ignored when the effect is none.
void ShAnswerDrag(QDropEvent* event, TShDropEffect effect);

class TShViewDrop : public QObject {
    Q_OBJECT
public:
    explicit TShViewDrop(QWidget* control);
    ~TShViewDrop() override;

    void SetDialogs(TDialogs& dialogs) { dialogs_ = &dialogs; }
    // Null: the program's dialogs over the control's window. The UI must outlive
    // the operations it was given.
    void SetOperationUi(TShOperationUi* ui) { ui_ = ui; }

    // A drag came in; false (and nothing kept) when it carries no shell items.
    bool Enter(const QMimeData* data);
    TVelShDragObject* DragObject() const { return drag_.get(); }
    // Whether path is one of the dragged items.
    bool IsDragged(const std::string& path) const;
    // The effect of dropping on target (an absolute ID; null: nothing there).
    TShDropEffect Over(PCItemIDList target, Qt::KeyboardModifiers keys, Qt::DropActions allowed);
    // Drops on target and answers the effect carried out. A failure to start
    // is shown to the user.
    TShDropEffect Drop(const QMimeData* data, PCItemIDList target, Qt::KeyboardModifiers keys,
                       Qt::DropActions allowed);
    // The drag left or ended.
    void Leave();

    // A drag enters a control; open: the control takes drops now. The handler
    // (the control's OnShDragEnter) may refuse it. True when the control takes
    // the drag: it then answers the first movement and accepts the event, so
    // the movements follow whatever this point takes. Otherwise the event is
    // ignored and nothing is kept.
    using TEnterHandler = std::function<void(TVelShDragObject& drag, bool& accept)>;
    bool EnterEvent(QDragEnterEvent* event, bool open, const TEnterHandler& handler);

    // A drop onto a control: the handler (the control's OnShDragDrop) may take
    // it over by clearing defaultAction; otherwise the items go to target(),
    // asked after the handler, which may change what is shown (null: nowhere).
    // The control ends its drag, then answers the event with ShAnswerDrop.
    struct TDropped {
        bool takenOver = false;
        TShDropEffect effect = TShDropEffect::None;
    };
    using TDropHandler = std::function<void(TVelShDragObject& drag, bool& defaultAction)>;
    TDropped DropEvent(QDropEvent* event, bool open, const TDropHandler& handler,
                       const std::function<PCItemIDList()>& target);
    int RunningOperations() const { return target_->RunningOperations(); }

signals:
    void operationFinished(const kelvora::TShOperationResult& result);

private:
    class TForwardUi;
    bool ready(PCItemIDList target);

    QWidget* control_;
    TDialogs* dialogs_;
    TShOperationUi* ui_ = nullptr;
    std::unique_ptr<TForwardUi> forward_;
    std::unique_ptr<TVelShDragObject> drag_;
    std::map<QByteArray, bool> ready_;      // answers by target ID, for the drag under way
    std::unique_ptr<TShDropTarget> target_; // last: it goes first, with its operations
};

// Answers a drop: taken over by the control's handler, or the effect carried out.
void ShAnswerDrop(QDropEvent* event, const TShViewDrop::TDropped& dropped);

} // namespace kelvora

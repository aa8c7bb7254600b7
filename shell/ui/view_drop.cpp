#include "shell/ui/view_drop.h"

#include "shell/dialogs/operation_dialogs.h"
#include "shell/items/drive_ready.h"
#include "shell/items/shell_item.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QWidget>
#include <algorithm>

namespace kelvora {

void ShAnswerDrag(QDropEvent* event, TShDropEffect effect) {
    event->setDropAction(ShDropAction(effect));
    if (effect == TShDropEffect::None)
        event->ignore();
    else
        event->accept();
}

// Passes the operations' questions on to the UI the control has now.
class TShViewDrop::TForwardUi : public TShOperationUi {
public:
    explicit TForwardUi(TShViewDrop& owner) : owner_(owner) {}

    template <class F> auto use(F&& f) {
        if (owner_.ui_)
            return f(*owner_.ui_);
        TShOperationDialogs dialogs(*owner_.dialogs_, owner_.control_->window());
        return f(dialogs);
    }

    TShConflictAnswer AskConflict(const TShConflict& conflict) override {
        return use([&](TShOperationUi& ui) { return ui.AskConflict(conflict); });
    }
    void OperationStarted(TShFileOperation& operation) override {
        use([&](TShOperationUi& ui) { ui.OperationStarted(operation); });
    }
    void OperationFinished(TShFileOperation& operation) override {
        use([&](TShOperationUi& ui) { ui.OperationFinished(operation); });
    }

private:
    TShViewDrop& owner_;
};

TShViewDrop::TShViewDrop(QWidget* control)
    : control_(control), dialogs_(&DefaultDialogs()), forward_(std::make_unique<TForwardUi>(*this)),
      target_(std::make_unique<TShDropTarget>(*forward_)) {
    connect(target_.get(), &TShDropTarget::operationFinished, this,
            &TShViewDrop::operationFinished);
}

TShViewDrop::~TShViewDrop() {
    target_.reset();
}

bool TShViewDrop::Enter(const QMimeData* data) {
    Leave();
    if (!TShDropTarget::Accepts(data))
        return false;
    try {
        drag_ = std::make_unique<TVelShDragObject>(data);
        target_->DragEnter(data, nullptr, Qt::NoModifier);
    } catch (const std::exception&) {
        Leave(); // data that cannot be read is no drag of ours
        return false;
    }
    return true;
}

bool TShViewDrop::IsDragged(const std::string& path) const {
    const std::vector<std::string>& paths = target_->Sources().paths;
    return drag_ && std::find(paths.begin(), paths.end(), path) != paths.end();
}

bool TShViewDrop::ready(PCItemIDList target) {
    if (TVelShID::IDCount(target) == 0)
        return true; // the desktop
    const QByteArray key(reinterpret_cast<const char*>(IDBytes(target)), TVelShID::IDSize(target));
    auto it = ready_.find(key);
    if (it != ready_.end())
        return it->second;
    TVelShData item(TVelShID::IDClone(target));
    const TShReadiness readiness = ShItemReadiness(item);
    if (readiness == TShReadiness::Asking)
        return false; // asked again at the next movement
    return ready_.emplace(key, readiness == TShReadiness::Ready).first->second;
}

TShDropEffect TShViewDrop::Over(PCItemIDList target, Qt::KeyboardModifiers keys,
                                Qt::DropActions allowed) {
    if (!drag_ || !target)
        return TShDropEffect::None;
    try {
        return ready(target) ? target_->DragOver(target, keys, allowed) : TShDropEffect::None;
    } catch (const std::exception&) {
        return TShDropEffect::None; // hovering only: the drop would say what went wrong
    }
}

TShDropEffect TShViewDrop::Drop(const QMimeData* data, PCItemIDList target,
                                Qt::KeyboardModifiers keys, Qt::DropActions allowed) {
    TShDropEffect effect = TShDropEffect::None;
    if (drag_ && target && ready(target)) {
        RunHandler(*dialogs_, control_->window(),
                   [&] { effect = target_->Drop(data, target, keys, allowed); });
    }
    Leave();
    return effect;
}

bool TShViewDrop::EnterEvent(QDragEnterEvent* event, bool open, const TEnterHandler& handler) {
    if (!open || !Enter(event->mimeData())) {
        event->ignore();
        return false;
    }
    bool accept = true;
    handler(*drag_, accept);
    if (!accept) {
        Leave();
        event->ignore();
    }
    return accept;
}

TShViewDrop::TDropped TShViewDrop::DropEvent(QDropEvent* event, bool open,
                                             const TDropHandler& handler,
                                             const std::function<PCItemIDList()>& target) {
    TDropped dropped;
    if (!drag_ || !open)
        return dropped;
    bool defaultAction = true;
    handler(*drag_, defaultAction);
    dropped.takenOver = !defaultAction;
    if (defaultAction) {
        // The drop may ask the user, and the control may change meanwhile: the
        // target is held as a copy.
        const PCItemIDList id = target();
        const TIDListPtr copy(id ? TVelShID::IDClone(id) : nullptr);
        dropped.effect =
            Drop(event->mimeData(), copy.get(), event->modifiers(), event->possibleActions());
    }
    return dropped;
}

void ShAnswerDrop(QDropEvent* event, const TShViewDrop::TDropped& dropped) {
    if (dropped.takenOver)
        event->acceptProposedAction();
    else
        ShAnswerDrag(event, dropped.effect);
}

void TShViewDrop::Leave() {
    target_->DragLeave();
    drag_.reset();
    ready_.clear();
}

} // namespace kelvora

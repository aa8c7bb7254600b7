// The folder tree's input: the pressed node's highlight, the mouse (a press
// selects only on release, so that it can start a drag), the keys (the arrow-key
// delay) and the start of a drag.
#include "shell/items/image_list.h"
#include "shell/ui/drag_source.h"
#include "shell/ui/item_icons.h"
#include "shell/ui/tree_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kelvora {

namespace {

bool isArrowKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

} // namespace

// Draws the pressed (highlighted) node as selected, and while there is one,
// the selected node as not.
class TCustomVelShTreeView::THighlightDelegate : public QStyledItemDelegate {
public:
    explicit THighlightDelegate(TCustomVelShTreeView* view)
        : QStyledItemDelegate(view), view_(view) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QModelIndex highlighted = view_->Highlighted();
        if (!highlighted.isValid())
            return;
        if (index == highlighted)
            option->state |= QStyle::State_Selected;
        else
            option->state &= ~QStyle::State_Selected;
    }

private:
    TCustomVelShTreeView* view_;
};

QStyledItemDelegate* TCustomVelShTreeView::newHighlightDelegate() {
    return new THighlightDelegate(this);
}

QRect TCustomVelShTreeView::ItemHitRect(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    if (!cell.isValid())
        return {};
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    int width = 2 * margin + fontMetrics().horizontalAdvance(index.data().toString());
    if (!index.data(Qt::DecorationRole).isNull())
        width += iconSize().width() + 2 * margin;
    if (model_->Checkboxes())
        width += style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 2 * margin;
    return QRect(cell.left(), cell.top(), std::min(width, cell.width()), cell.height());
}

void TCustomVelShTreeView::setHighlight(const QModelIndex& index) {
    if (QModelIndex(highlighted_) == index)
        return;
    const QModelIndex old = highlighted_;
    highlighted_ = index;
    if (old.isValid())
        update(old);
    if (index.isValid())
        update(index);
    viewport()->update();
}

bool TCustomVelShTreeView::onBranchButton(const QModelIndex& index, const QPoint& pos) const {
    const QRect cell = visualRect(index);
    return index.isValid() && model_->hasChildren(index) && pos.x() < cell.left() &&
           pos.x() >= cell.left() - indentation();
}

void TCustomVelShTreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    pressPos_ = pos;
    setFocus(Qt::MouseFocusReason);
    slowEditTimer_.stop();
    if (event->button() == Qt::LeftButton) {
        if (index.isValid() && ItemHitRect(index).contains(pos)) {
            // Highlight only: the release selects, a drag leaves the selection alone.
            pressOnSelected_ = index == currentIndex();
            setHighlight(index);
            mouseState_ = TShMouseState::LeftDown;
            event->accept();
            return;
        }
        setHighlight({});
        if (onBranchButton(index, pos)) {
            // The branch's button opens or closes it, as always.
            branchPress_ = true;
            QTreeView::mousePressEvent(event);
        }
        return;
    }
    if (event->button() == Qt::RightButton) {
        const TVelShTreeNode* node = model_->NodeOf(index);
        if (node && node->IsValid() && node->Data()->GetLevel() > 0) {
            setHighlight(index);
            mouseState_ = TShMouseState::RightDown;
        }
        event->accept();
    }
}

void TCustomVelShTreeView::mouseMoveEvent(QMouseEvent* event) {
    const bool pressed =
        mouseState_ == TShMouseState::LeftDown || mouseState_ == TShMouseState::RightDown;
    if (pressed && (event->buttons() & (Qt::LeftButton | Qt::RightButton))) {
        const QPoint d = event->position().toPoint() - pressPos_;
        if (std::abs(d.x()) > kDragDistance || std::abs(d.y()) > kDragDistance)
            beginDrag(event->position().toPoint());
        return;
    }
    if (branchPress_)
        QTreeView::mouseMoveEvent(event);
}

void TCustomVelShTreeView::mouseReleaseEvent(QMouseEvent* event) {
    if (branchPress_) {
        branchPress_ = false;
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton && mouseState_ == TShMouseState::LeftDown) {
        const QModelIndex index = highlighted_;
        mouseState_ = TShMouseState::Idle;
        setHighlight({});
        if (index.isValid()) {
            selectIndex(index, true);
            // A second, slow click on the selected node edits its label.
            if (pressOnSelected_ && !readOnly_) {
                slowEdit_ = index;
                slowEditTimer_.start(QApplication::doubleClickInterval());
            }
        }
    } else if (event->button() == Qt::RightButton && mouseState_ == TShMouseState::RightDown) {
        mouseState_ = TShMouseState::Idle;
        setHighlight({});
    }
    runPendingRefresh();
}

void TCustomVelShTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    slowEditTimer_.stop();
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() != Qt::LeftButton || !index.isValid() || !ItemHitRect(index).contains(pos))
        return; // only the icon and the label open a node
    TVelShTreeNode* node = model_->NodeOf(index);
    if (!node || !node->IsValid())
        return;
    TVelShFolderData* item = node->Data();
    if (item->HasAttribute(SFGAO_FOLDER) && !item->HasAttribute(SFGAO_LINK)) {
        setExpanded(index, !isExpanded(index)); // folders open and close
        return;
    }
    OpenNode(node);
}

void TCustomVelShTreeView::contextMenuEvent(QContextMenuEvent* event) {
    // No shell context menu here; a right click just leaves the selection alone.
    if (mouseState_ == TShMouseState::RightDown &&
        !(QGuiApplication::mouseButtons() & Qt::RightButton)) {
        mouseState_ = TShMouseState::Idle;
        setHighlight({});
    }
    event->accept();
}

void TCustomVelShTreeView::keyPressEvent(QKeyEvent* event) {
    if (changeDelay_ && isArrowKey(event->key()))
        arrowKey_ = true;
    QTreeView::keyPressEvent(event);
}

void TCustomVelShTreeView::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && isArrowKey(event->key()))
        arrowKey_ = false;
    QTreeView::keyReleaseEvent(event);
}

void TCustomVelShTreeView::focusOutEvent(QFocusEvent* event) {
    arrowKey_ = false; // its release goes elsewhere
    QTreeView::focusOutEvent(event);
}

void TCustomVelShTreeView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::ThemeChange) {
        TShImageList::instance().themeChanged();
        TShItemIcons::instance().clear();
        viewport()->update();
    }
    QTreeView::changeEvent(event);
}

void TCustomVelShTreeView::beginDrag(const QPoint& at) {
    TVelShTreeNode* node = model_->NodeOf(highlighted_);
    // The press ends here whether or not a drag follows: the release selects nothing.
    mouseState_ = TShMouseState::Idle;
    setHighlight({});
    if (!node || !node->IsValid() || node->Data()->GetLevel() == 0)
        return;
    TVelShFolderData* item = node->Data();
    TVelShIDList ids(true);
    ids.SetParentID(TVelShID::IDClone(item->GetParentID()));
    ids.Add(TVelShID::IDClone(item->GetRelativeID()));
    const Qt::DropActions actions = ShDragActions(ids);
    if (!actions || !DoBeginDrag(node, pressPos_, at))
        return;
    mouseState_ = TShMouseState::Dragging;
    ShRunDrag(this, ids, actions);
    mouseState_ = TShMouseState::Idle;
    runPendingRefresh();
}

} // namespace kelvora

#pragma once
// The two item views inside the file list control: a QListView for the large
// icon, small icon and list styles, and a QTreeView for the details. They
// share the model and the selection model, so rows, selection and the focused
// row stay what they are when the style changes. What the user does in either
// view that the control handles itself (the mouse button being down, drags out
// and in, type-ahead, label editing) goes to the control through TShListViewHost.
#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListView>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace kelvora {

class TShListViewHost {
public:
    virtual ~TShListViewHost() = default;
    virtual void ViewMouseDown(bool down) = 0;
    // A drag would start: pressed at press, now at.
    virtual void ViewStartDrag(QAbstractItemView* view, const QPoint& press, const QPoint& at) = 0;
    // Typed text of the type-ahead search.
    virtual void ViewKeyboardSearch(const QString& text) = 0;
    // Whether the row's label may be edited now.
    virtual bool ViewCanEdit(const QModelIndex& index) = 0;
    // Something is dragged over the view (an enter is a first movement).
    virtual void ViewDragEnter(QAbstractItemView* view, QDragEnterEvent* event) = 0;
    virtual void ViewDragMove(QAbstractItemView* view, QDragMoveEvent* event) = 0;
    virtual void ViewDragLeave(QAbstractItemView* view) = 0;
    virtual void ViewDrop(QAbstractItemView* view, QDropEvent* event) = 0;
};

// How far the mouse moves with a button down before a drag starts.
inline constexpr int kShDragDistance = 5;

template <class Base> class TShListPart : public Base {
public:
    TShListPart(TShListViewHost& host, QWidget* parent) : Base(parent), host_(host) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        press_ = event->position().toPoint();
        host_.ViewMouseDown(true);
        Base::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        // After a drag the release is no click: the selection stays as dragged.
        if (!dragged_)
            Base::mouseReleaseEvent(event);
        dragged_ = false;
        if (event->buttons() == Qt::NoButton)
            host_.ViewMouseDown(false);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        // The view arms a drag when a selected row is pressed; it starts here
        // after a shorter move than Qt's own distance.
        if (this->state() == QAbstractItemView::DraggingState) {
            const QPoint at = event->position().toPoint();
            const QPoint d = at - press_;
            if (qAbs(d.x()) > kShDragDistance || qAbs(d.y()) > kShDragDistance) {
                this->setState(QAbstractItemView::NoState);
                dragged_ = true;
                host_.ViewStartDrag(this, press_, at);
                return;
            }
        }
        Base::mouseMoveEvent(event);
    }
    void startDrag(Qt::DropActions) override {
        dragged_ = true;
        host_.ViewStartDrag(this, press_, this->viewport()->mapFromGlobal(QCursor::pos()));
    }
    void dragEnterEvent(QDragEnterEvent* event) override { host_.ViewDragEnter(this, event); }
    void dragMoveEvent(QDragMoveEvent* event) override { host_.ViewDragMove(this, event); }
    void dragLeaveEvent(QDragLeaveEvent* event) override {
        host_.ViewDragLeave(this);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override { host_.ViewDrop(this, event); }
    bool edit(const QModelIndex& index, QAbstractItemView::EditTrigger trigger,
              QEvent* event) override {
        // Only the name is edited, whichever column was clicked.
        constexpr QAbstractItemView::EditTriggers editing = QAbstractItemView::EditKeyPressed |
                                                            QAbstractItemView::SelectedClicked |
                                                            QAbstractItemView::DoubleClicked;
        if (!(trigger & editing))
            return Base::edit(index, trigger, event);
        const QModelIndex name = index.siblingAtColumn(0);
        return host_.ViewCanEdit(name) && Base::edit(name, trigger, event);
    }

public:
    using Base::edit;
    void keyboardSearch(const QString& text) override { host_.ViewKeyboardSearch(text); }

private:
    TShListViewHost& host_;
    QPoint press_;
    bool dragged_ = false;
};

using TShListIconView = TShListPart<QListView>;
using TShListDetailsView = TShListPart<QTreeView>;

// Draws the rows of the icon and list styles in cells of one size (so that the
// view never measures a row to lay them out), and in the large-icon style the
// icon above its caption, centred and wrapped. A row that a drag would drop on
// is drawn as selected.
class TShListItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void SetIconsOnTop(bool on) { iconsOnTop_ = on; }
    void SetCellSize(QSize size) { cellSize_ = size; }
    // Invalid: each icon's own size.
    void SetDecorationSize(QSize size) { decorationSize_ = size; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool iconsOnTop_ = false;
    QSize cellSize_;
    QSize decorationSize_;
};

} // namespace kelvora

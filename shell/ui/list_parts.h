#pragma once
// The two item views inside the file list control: a QListView for the large
// icon, small icon and list styles, and a QTreeView for the details. They
// share the model and the selection model, so rows, selection and the focused
// row stay what they are when the style changes. What the user does in either
// view that the control handles itself (the mouse button being down, drags,
// type-ahead) goes to the control through TShListViewHost.
#include <QAbstractItemView>
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

public:
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
// icon above its caption, centred and wrapped.
class TShListItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void SetIconsOnTop(bool on) { iconsOnTop_ = on; }
    void SetCellSize(QSize size) { cellSize_ = size; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool iconsOnTop_ = false;
    QSize cellSize_;
};

} // namespace kelvora

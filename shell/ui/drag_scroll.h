#pragma once
// TShDragScroller: scrolls a view while something is dragged near one of its
// edges, so that a drop can reach rows out of sight. Within one line of text of
// an edge the view scrolls a step at once and then a step every kIntervalMs for
// as long as the pointer stays there. GUI thread only.
#include <QObject>
#include <QPoint>
#include <QTimer>

class QAbstractScrollArea;

namespace kelvora {

class TShDragScroller : public QObject {
public:
    static constexpr int kIntervalMs = 100;

    explicit TShDragScroller(QAbstractScrollArea* view);

    // The pointer is at pos (the view's viewport coordinates).
    void Moved(const QPoint& pos);
    // The drag left or ended.
    void Stop() { timer_.stop(); }

private:
    // Scrolls a step towards the edge the pointer is near; false when it is near none.
    bool step();

    QAbstractScrollArea* view_;
    QTimer timer_;
    QPoint pos_;
};

} // namespace kelvora

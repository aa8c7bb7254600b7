#include "shell/ui/drag_scroll.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

namespace kelvora {

TShDragScroller::TShDragScroller(QAbstractScrollArea* view) : QObject(view), view_(view) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!step())
            timer_.stop();
    });
}

void TShDragScroller::Moved(const QPoint& pos) {
    pos_ = pos;
    if (timer_.isActive())
        return;
    if (step())
        timer_.start();
}

bool TShDragScroller::step() {
    const int margin = view_->fontMetrics().height();
    const QRect area = view_->viewport()->rect();
    // -1 towards the start, 1 towards the end, 0 not near either edge.
    const auto side = [margin](int at, int first, int last) {
        return at < first + margin ? -1 : at > last - margin ? 1 : 0;
    };
    const auto scroll = [](QScrollBar* bar, int direction) {
        if (direction)
            bar->triggerAction(direction < 0 ? QAbstractSlider::SliderSingleStepSub
                                             : QAbstractSlider::SliderSingleStepAdd);
        return direction != 0;
    };
    const int vertical = side(pos_.y(), area.top(), area.bottom());
    const int horizontal = side(pos_.x(), area.left(), area.right());
    const bool nearV = scroll(view_->verticalScrollBar(), vertical);
    const bool nearH = scroll(view_->horizontalScrollBar(), horizontal);
    return nearV || nearH;
}

} // namespace kelvora

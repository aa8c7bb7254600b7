#include "ui/url_link.h"

#include "base/shell_opener.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace kelvora {
namespace {

// Borderless, always on top and never activated, so that the window under the mouse
// keeps the focus.
class THintWindow : public QWidget {
public:
    THintWindow(const QString& text, const QFont& font, const QColor& color)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
          text_(text), color_(color) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFont(font);
        const QFontMetrics metrics(font);
        setFixedSize(metrics.horizontalAdvance(text) + 6, metrics.height() + 3);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), color_);
        painter.setPen(palette().color(QPalette::ToolTipText));
        painter.drawText(QPoint(2, 2 + fontMetrics().ascent()), text_);
    }

private:
    QString text_;
    QColor color_;
};

} // namespace

TURLLink::TURLLink(TShellOpener& opener, QWidget* parent)
    : QLabel(parent), HintFormFont(font()),
      HintFormColor(QToolTip::palette().color(QPalette::ToolTipBase)), opener_(opener) {
    setTextColor(Qt::blue);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

TURLLink::~TURLLink() = default;

QString TURLLink::Target() const {
    return URLType == tpMAIL ? QStringLiteral("mailto:") + Link : Link;
}

QWidget* TURLLink::HintWindow() const {
    return hint_ && hint_->isVisible() ? hint_.get() : nullptr;
}

void TURLLink::setTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void TURLLink::hideHint() {
    hint_.reset();
}

void TURLLink::enterEvent(QEnterEvent* event) {
    if (!hovering_)
        savedColor_ = palette().color(QPalette::WindowText);
    hovering_ = true;
    setTextColor(LinkColor);
    hintPending_ = true;
    QLabel::enterEvent(event);
}

void TURLLink::leaveEvent(QEvent* event) {
    if (hovering_)
        setTextColor(savedColor_);
    hovering_ = false;
    hintPending_ = false;
    hideHint();
    QLabel::leaveEvent(event);
}

void TURLLink::mouseMoveEvent(QMouseEvent* event) {
    if (hintPending_ && EnableShowHint) {
        hint_ = std::make_unique<THintWindow>(Link, HintFormFont, HintFormColor);
        hint_->move(event->globalPosition().toPoint() + QPoint(HintOffsetX, HintOffsetY));
        hint_->show();
    }
    hintPending_ = false;
    QLabel::mouseMoveEvent(event);
}

void TURLLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    update();
    // Nothing is reported when the desktop cannot open the link.
    opener_.open(Target().toStdString());
    hideHint();
}

} // namespace kelvora

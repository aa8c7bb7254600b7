#pragma once
// A label that opens a link with the desktop's associated application: a web address
// (tpURL, opened as it stands) or an e-mail address (tpMAIL, opened as "mailto:" and the
// address). Under the mouse it takes LinkColor; with EnableShowHint the first mouse move
// shows the link in a small hint window beside the cursor, which goes when the mouse
// leaves or the link is clicked. GUI thread only.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <memory>

namespace kelvora {

class TShellOpener;

enum TURLType { tpURL, tpMAIL };

class TURLLink : public QLabel {
    Q_OBJECT
public:
    explicit TURLLink(TShellOpener& opener, QWidget* parent = nullptr);
    ~TURLLink() override;

    QString Link = QStringLiteral("http://");
    TURLType URLType = tpURL;
    QColor LinkColor = Qt::red;
    bool EnableShowHint = true;
    QFont HintFormFont;
    QColor HintFormColor;
    int HintOffsetX = 15;
    int HintOffsetY = 15;

    // What a click opens: Link, or "mailto:" and Link.
    QString Target() const;
    // The hint window while it is shown, else nullptr.
    QWidget* HintWindow() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setTextColor(const QColor& color);
    void hideHint();

    TShellOpener& opener_;
    QColor savedColor_; // the text colour before the mouse came
    bool hovering_ = false;
    bool hintPending_ = false;
    std::unique_ptr<QWidget> hint_;
};

} // namespace kelvora

#pragma once
#include <QProgressBar>

class QStatusBar;

namespace kelvora {

// A progress bar that fills the only panel of a status bar.
class TStatusProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit TStatusProgressBar(QStatusBar* statusBar);
};

} // namespace kelvora

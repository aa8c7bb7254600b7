#include "ui/status_progress.h"

#include <QStatusBar>

namespace kelvora {

TStatusProgressBar::TStatusProgressBar(QStatusBar* statusBar) : QProgressBar(statusBar) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    statusBar->addWidget(this, 1);
}

} // namespace kelvora

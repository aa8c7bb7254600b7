#include "app/app_windows.h"

#include "album/ui/generation_window.h"
#include "app/main_window.h"

namespace kelvora {

void ConnectWindows(const TAppWindows& windows) {
    QObject::connect(windows.Form3, &TForm3::hidden, windows.Form1, &QWidget::show);
}

} // namespace kelvora

#include "app/app_windows.h"

#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/main_window.h"
#include "app/version_window.h"
#include "settings/ui/option_dialog.h"
#include "spi/ui/plugin_list_window.h"

#include <initializer_list>

namespace kelvora {

void ConnectWindows(const TAppWindows& windows) {
    QObject::connect(windows.Form3, &TForm3::hidden, windows.Form1, &QWidget::show);
    // The program ends when the main window closes, whatever other window is open.
    for (QWidget* other : std::initializer_list<QWidget*>{
             windows.Form4, windows.Form2, windows.frmOption, windows.frmVersion, windows.Form3}) {
        if (other)
            other->setAttribute(Qt::WA_QuitOnClose, false);
    }
}

} // namespace kelvora

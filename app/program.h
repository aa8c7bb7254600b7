#pragma once
class QApplication;

namespace kelvora {
// What every window of the program relies on: Qt's Japanese texts, the interface font,
// the icon and the picture formats. The start-up sequence and the documentation's
// screenshot tool share it.
void SetUpApplication(QApplication& app);
// The program from start to end: the splash is shown and painted, the windows are
// created once in their fixed order (app/app_windows.h), the main window is shown and
// the event loop runs until it closes. Picture files named on the command line (the
// desktop's "open with") join the main window's list. Returns the exit code.
int RunKelvora(int argc, char** argv);
} // namespace kelvora

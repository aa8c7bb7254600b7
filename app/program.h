#pragma once
#include <string>
#include <vector>

class QApplication;

namespace kelvora {

class TForm1;

// What every window of the program relies on: Qt's Japanese texts, the interface font
// and the icon. The start-up sequence and the documentation's screenshot tool share it.
void SetUpApplication(QApplication& app);
// The primary screen's colour depth, which chooses the picture formats' pixel format
// (TPictureFormatsScope, app/startup.h); 32 without a screen.
int ScreenDepth();
// The program from start to end: the splash is shown and painted, the windows are
// created once in their fixed order (app/app_windows.h), the main window is shown and
// the event loop runs until it closes. Picture files named on the command line (the
// desktop's "open with") join the main window's list; a folder named there is shown in
// the browser. The windows' state is read from the last session's file at start and
// written back at the end (app/session_state.h). Returns the exit code.
int RunKelvora(int argc, char** argv);
// The command line's arguments: regular files join the collected list, in their order;
// a folder is shown in the browser (the last one named wins); anything else is ignored.
void TakeCommandLine(TForm1& form1, const std::vector<std::string>& args);
} // namespace kelvora

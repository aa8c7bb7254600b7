#pragma once
namespace kelvora {
// The program from start to end: the splash is shown and painted, the windows are
// created once in their fixed order (app/app_windows.h), the main window is shown and
// the event loop runs until it closes. Picture files named on the command line (the
// desktop's "open with") join the main window's list. Returns the exit code.
int RunKelvora(int argc, char** argv);
} // namespace kelvora

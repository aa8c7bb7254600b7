#pragma once
// The program's windows. The start-up sequence (app/program.h) creates each once, in
// this order, and they live until the program ends; the main window reaches the others
// through this set, which it is given before they exist.
//
// For the main window: the options dialog and the about box disable the window they
// are given while shown and enable it when they go, so the main window only calls
// frmOption->show() ("設定") and frmVersion->show() ("バージョン情報"). The generation
// window's hidden() signal shows the main window again (ConnectWindows), and only the
// main window's closing ends the program.

namespace kelvora {

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TfrmOption;
class TfrmVersion;

struct TAppWindows {
    TForm1* Form1 = nullptr;           // main window
    TForm4* Form4 = nullptr;           // comment editor
    TForm2* Form2 = nullptr;           // plug-in list
    TfrmOption* frmOption = nullptr;   // options dialog
    TfrmVersion* frmVersion = nullptr; // about box
    TForm3* Form3 = nullptr;           // generation window
};

// Wires what the windows do to one another once all exist.
void ConnectWindows(const TAppWindows& windows);

} // namespace kelvora

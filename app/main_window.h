#pragma once
// The main window: collects the pictures of an album and hands them to the
// generation window.
#include <QMainWindow>

class QAction;
class QListWidget;
class QPushButton;
class QTimer;
class QToolBar;

namespace kelvora {

class TDialogs;
class TForm2;
class TForm3;
class TForm4;
class TSPIs;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(TForm3& form3, TForm4& form4, TDialogs& dialogs, QWidget* parent = nullptr);

    // Controls
    QToolBar* ToolBar1;
    QAction* TB_Susie;     // "Susie PlugInの確認"
    QListWidget* ListBox1; // the collected pictures
    QPushButton* btnAdd;
    QPushButton* btnDelete;
    QPushButton* btnCreate;
    QTimer* Timer1;
    // The plug-in manager: its plug-ins are loaded while this window is created.
    TSPIs* SPIs1;

    // The plug-in list window, created after this one.
    void SetPluginListWindow(TForm2* form2) { form2_ = form2; }

    // Handlers
    void TB_SusieClick();
    void btnAddClick();
    void btnDeleteClick();
    void btnCreateClick();
    void Timer1Timer();

    // Adds a picture unless it is already listed.
    void AddFile(const std::string& path);

private:
    TForm3& form3_;
    TForm4& form4_;
    TDialogs& dialogs_;
    TForm2* form2_ = nullptr;
};

} // namespace kelvora

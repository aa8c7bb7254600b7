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
class TSPIs;
struct TAppWindows;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(const TAppWindows& windows, TDialogs& dialogs, QWidget* parent = nullptr);

    // Controls
    QToolBar* ToolBar1;
    QAction* TB_Susie;     // "Susie PlugInの確認"
    QListWidget* ListBox1; // the collected pictures
    QPushButton* btnSet;   // "設定"
    QPushButton* btnAdd;
    QPushButton* btnDelete;
    QPushButton* btnCreate;
    QPushButton* TB_Version; // "バージョン情報"
    QTimer* Timer1;
    // The plug-in manager: its plug-ins are loaded while this window is created.
    TSPIs* SPIs1;

    // Handlers
    void btnSetClick();
    void TB_SusieClick();
    void btnAddClick();
    void btnDeleteClick();
    void btnCreateClick();
    void TB_VersionClick();
    void Timer1Timer();

    // Adds a picture unless it is already listed.
    void AddFile(const std::string& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    const TAppWindows& windows_;
    TDialogs& dialogs_;
};

} // namespace kelvora

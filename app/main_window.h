#pragma once
// The main window: collects the pictures of an album and hands them to the
// generation window.
#include <QMainWindow>

class QListWidget;
class QPushButton;
class QTimer;

namespace kelvora {

class TDialogs;
struct TAppWindows;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(const TAppWindows& windows, TDialogs& dialogs, QWidget* parent = nullptr);

    // Controls
    QListWidget* ListBox1; // the collected pictures
    QPushButton* btnSet;   // "設定"
    QPushButton* btnAdd;
    QPushButton* btnDelete;
    QPushButton* btnCreate;
    QPushButton* TB_Version; // "バージョン情報"
    QTimer* Timer1;

    // Handlers
    void btnSetClick();
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

#pragma once
// The main window: collects the pictures of an album and hands them to the
// generation window.
#include <QMainWindow>

class QListWidget;
class QPushButton;
class QTimer;

namespace kelvora {

class TDialogs;
class TForm3;
class TForm4;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(TForm3& form3, TForm4& form4, TDialogs& dialogs, QWidget* parent = nullptr);

    // Controls
    QListWidget* ListBox1; // the collected pictures
    QPushButton* btnAdd;
    QPushButton* btnDelete;
    QPushButton* btnCreate;
    QTimer* Timer1;

    // Handlers
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
};

} // namespace kelvora

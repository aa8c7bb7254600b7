#pragma once
// The about box: the program's picture, its version read from the executable's version
// information, the author, the maker's links and a disclaimer. Created once, filled at
// creation, then only shown and hidden; while it is shown the main window is disabled.
// It has no buttons: the title bar's close button, Alt+F4 or Escape close it.
#include <QWidget>
#include <string>

class QGroupBox;
class QLabel;

namespace kelvora {

class TShellOpener;
class TURLLink;
class TfrmSplash;

class TfrmVersion : public QWidget {
    Q_OBJECT
public:
    // mainWindow is disabled while the box is shown (may be null); executable is the
    // file whose version information is shown.
    TfrmVersion(const TfrmSplash& splash, TShellOpener& opener, QWidget* mainWindow,
                std::string executable = "/proc/self/exe", QWidget* parent = nullptr);

    // Controls
    QLabel* Image1;
    QLabel* Label1;       // hidden: the product name
    QLabel* Label2;       // "Version: " and the product version
    QGroupBox* GroupBox1; // "作者名"
    QLabel* Label3;       // the author's name
    QGroupBox* GroupBox2; // "HP／メールアドレス"
    TURLLink* URLLink1;   // the home page
    TURLLink* URLLink2;   // the e-mail address
    QLabel* Label4;       // the disclaimer
    QLabel* Label5;       // the maker's name
    QLabel* Image2;       // hidden: the application's icon

    // Handlers
    void FormCreate(const TfrmSplash& splash);
    void FormShow();
    // Always allows closing; the box is then only hidden.
    bool FormCloseQuery();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* mainWindow_;
    std::string executable_;
};

// The maker's data the about box shows.
namespace maker {
inline constexpr const char* kAuthor = "Kelvora 開発チーム";
inline constexpr const char* kHomePageTitle = "Kelvora ホームページ";
inline constexpr const char* kHomePage = "https://kelvora.example.org/";
inline constexpr const char* kMailAddress = "kelvora@example.org";
} // namespace maker

} // namespace kelvora

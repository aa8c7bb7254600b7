#pragma once
// The options dialog: edits the conversion settings of Option.ini for the large and the
// small picture. It behaves as a modal dialog without being one: while it is shown the
// main window is disabled, and only its two buttons leave it (it has no close button,
// and a close request from the window manager is refused). Created once, then only
// shown and hidden; every showing reloads the controls from the file.
#include "settings/inifile.h"

#include <QWidget>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace kelvora {

class TDialogs;
class TSpinEdit;
struct TOptionSection;

class TfrmOption : public QWidget {
    Q_OBJECT
public:
    // mainWindow is disabled while the dialog is shown (may be null).
    TfrmOption(std::string optionFileName, TDialogs& dialogs, QWidget* mainWindow,
               QWidget* parent = nullptr);
    ~TfrmOption() override;

    // Controls, section Large
    QLineEdit* Edit1;           // Header
    QLineEdit* Edit2;           // Folder
    QComboBox* ComboBox1;       // PictureType
    TSpinEdit* SpinEdit1;       // Quality
    QRadioButton* RadioButton1; // PictureSizeMode true: by percent
    QRadioButton* RadioButton2; // PictureSizeMode false: by pixels
    TSpinEdit* SpinEdit2;       // Rate
    QLineEdit* Edit3;           // Vertical
    QLineEdit* Edit4;           // Horizonal
    QCheckBox* CheckBox1;       // Consecutive
    QLabel* Label3;             // hint under the quality
    // Controls, section Small (note SpinEdit3 is the percent, SpinEdit4 the quality)
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QComboBox* ComboBox2;
    TSpinEdit* SpinEdit4;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton4;
    TSpinEdit* SpinEdit3;
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QCheckBox* CheckBox2;
    QLabel* Label13;
    // Options added later, after the controls above: in each section's size group
    QCheckBox* CheckBox3; // Large: Smooth, "なめらかに縮小する"
    QCheckBox* CheckBox4; // Large: KeepAspect, "縦横比を保つ" (pixel mode only)
    QCheckBox* CheckBox5; // Small: Smooth
    QCheckBox* CheckBox6; // Small: KeepAspect
    // The page's options (section Page)
    TSpinEdit* spnPerPage;        // "1ページの枚数": PerPage, 0 = one page
    QCheckBox* chkSkipUnreadable; // "読めない画像は飛ばす": SkipUnreadable
    // Buttons and the enabling timer
    QPushButton* Button1; // "取り消し"
    QPushButton* Button2; // "設定保存"
    QTimer* Timer1;

    // Handlers
    void FormShow();
    void FormHide();
    // The digit filter of the pixel boxes: true when the typed key may pass.
    bool Edit3KeyPress(const QKeyEvent& event) const;
    void Timer1Timer();
    void Button1Click();
    void Button2Click();

    // The option file while the dialog is shown, else null.
    const TIniFile* OptionFile() const { return optionFile_.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // The controls of one section's group box.
    struct Section;

private:
    void loadSection(const Section& controls, const TOptionSection& values);
    TOptionSection readSection(const Section& controls) const;

    std::string optionFileName_;
    TDialogs& dialogs_;
    QWidget* mainWindow_;
    std::unique_ptr<TIniFile> optionFile_;
    std::unique_ptr<Section> large_;
    std::unique_ptr<Section> small_;
};

} // namespace kelvora

#pragma once
// The generation window: where the album's pictures go and how they are
// converted, the page options, and the run that makes the album.
//
// One run at a time, on the runner's threads; the window stays live meanwhile and
// shows "n / N" and the picture being converted. "中止" stops the run, and so does
// leaving the window ("戻る" or the close box) once the user confirms: the window then
// waits for the runner to remove what it staged, by its signal, and hides. A stopped
// run leaves the album on disk as it was.
#include "album/album_runner.h"
#include "album/picture_settings.h"
#include "base/stringlist.h"
#include "settings/page_section.h"

#include <QWidget>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTreeWidget;

namespace kelvora {

class TColorLabel;
class TDialogs;
class TForm4;
class TImage;
class TShellOpener;
class TSpinEdit;
class TStatusProgressBar;
struct TAlbumPageOptions;

class TForm3 : public QWidget {
    Q_OBJECT
public:
    TForm3(TForm4& commentEditor, std::string optionFile, TDialogs& dialogs, TShellOpener& opener,
           QWidget* parent = nullptr);
    // A run still going is stopped; its files are removed, the album on disk stays.
    ~TForm3() override;

    // Filled by the main window before it shows this window.
    std::string HTMLFileName;
    TStringList SourceFiles;

    // Read from Option.ini each time the window is shown.
    TPictureSettings LargeSettings;
    TPictureSettings SmallSettings;
    std::string BaseFolder;
    // Option.ini's page section: pictures per page, and the start of chkSkipUnreadable.
    TPageSection PageSettings;

    // Controls
    TImage* imgWork;
    QGroupBox* GroupBox1;
    QLabel* lblHTMLFileName;
    QLabel* lblLargePicture;
    QTreeWidget* ListView1;
    QLabel* lblSmallPicture;
    QTreeWidget* ListView2;
    QGroupBox* GroupBox2;
    QLineEdit* txtTitle;
    TColorLabel* lblBackColor;
    QPushButton* Button2;
    TSpinEdit* spnCols;
    QCheckBox* chkFrame;
    TSpinEdit* spnFrameWidth;
    TColorLabel* lblFrameColor;
    QPushButton* Button3;
    QCheckBox* chkComment;
    QPushButton* btnCommentEdit;
    QGroupBox* GroupBox3;
    QRadioButton* rbUp;
    QRadioButton* rbDown;
    QPushButton* Button1;
    QPushButton* btnStop; // "中止", during a run
    QPushButton* Button4;
    QPushButton* btnShowHTML;
    QStatusBar* StatusBar1;
    TStatusProgressBar* stProgress;
    QLabel* lblRunStatus;         // "n / N" and the picture being converted
    QCheckBox* chkSkipUnreadable; // "読めない画像は飛ばす", for the next run
    QCheckBox* chkRebuild;        // "すべて作り直す": convert every picture again

    // Handlers
    void FormShow();
    void FormHide();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void btnStopClick();
    void btnShowHTMLClick();
    void btnCommentEditClick();
    void ShowPictureSettings(const TPictureSettings& settings, QTreeWidget* listView);

    // The page options as the controls hold them now.
    TAlbumPageOptions PageOptions() const;
    // Sets the controls to page options (those kept from the last session).
    void SetPageOptions(const TAlbumPageOptions& options);
    bool running() const { return runner_.running(); }

signals:
    // Emitted when the window is hidden, so that the main window comes back.
    void hidden();
    // Emitted after a run of this showing completed and the page was written.
    void runFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void chooseColor(TColorLabel* label);
    void runConverted();
    void runFailed(const QString& message);
    void runEnded();
    void pictureStarted(int index);
    // Leaving during a run: true when the window may hide now; otherwise the user
    // either keeps the run (No) or it is being stopped and the window hides after.
    bool mayLeave();
    void stop();

    TForm4& form4_;
    std::string optionFile_;
    std::string pageFileName_; // what lblHTMLFileName shows, as bytes
    TDialogs& dialogs_;
    TShellOpener& opener_;
    QColor lastColor_ = Qt::black; // the colour dialog opens with what it last returned
    TAlbumRunner runner_;
    int showing_ = 0;         // counts the showings of the window
    int runShowing_ = 0;      // the showing the run in progress was started in
    std::string writtenPage_; // the page a run of this showing wrote
    int started_ = 0;         // the pictures of the run in progress begun so far
    bool stopping_ = false;   // the run in progress was told to stop
    bool hideWhenStopped_ = false;
};

} // namespace kelvora

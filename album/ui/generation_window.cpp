#include "album/ui/generation_window.h"

#include "album/album_messages.h"
#include "album/album_texts.h"
#include "album/output_paths.h"
#include "album/rerun_plan.h"
#include "album/ui/comment_editor.h"
#include "base/codepage.h"
#include "base/do_events.h"
#include "base/shell_opener.h"
#include "settings/inifile.h"
#include "ui/color_label.h"
#include "ui/dialogs.h"
#include "ui/image.h"
#include "ui/spin_edit.h"
#include "ui/status_progress.h"
#include "ui/window_placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace kelvora {
namespace {

QTreeWidget* settingsList(QWidget* parent, const char* name) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setColumnCount(2);
    list->setHeaderLabels({QStringLiteral("項目"), QStringLiteral("設定")});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); "
                                       "border-bottom: 1px solid palette(mid); }"));
    return list;
}

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TForm3::TForm3(TForm4& commentEditor, std::string optionFile, TDialogs& dialogs,
               TShellOpener& opener, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      form4_(commentEditor), optionFile_(std::move(optionFile)), dialogs_(dialogs),
      opener_(opener) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Kelvora"));
    resize(688, 508);
    buildControls();
    // The design size is the smallest at which the settings lists show all their rows.
    setMinimumSize(size());
    CenterOnScreen(*this);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    connect(btnStop, &QPushButton::clicked, this, &TForm3::btnStopClick);
    connect(btnShowHTML, &QPushButton::clicked, this, &TForm3::btnShowHTMLClick);
    connect(btnCommentEdit, &QPushButton::clicked, this, &TForm3::btnCommentEditClick);

    connect(&runner_, &TAlbumRunner::progress, this, [this](int position, int maximum) {
        stProgress->setRange(0, maximum);
        stProgress->setValue(position);
    });
    connect(&runner_, &TAlbumRunner::pictureStarted, this, &TForm3::pictureStarted);
    connect(&runner_, &TAlbumRunner::pictureConverted, this,
            [this](int, const QImage& preview) { imgWork->setImage(preview); });
    connect(&runner_, &TAlbumRunner::converted, this, &TForm3::runConverted);
    connect(&runner_, &TAlbumRunner::failed, this, &TForm3::runFailed);
}

TForm3::~TForm3() = default;

void TForm3::buildControls() {
    imgWork = named(new TImage(this), "imgWork");
    imgWork->hide();

    GroupBox1 = named(new QGroupBox(QStringLiteral("画像・ファイルステータス"), this), "GroupBox1");
    lblHTMLFileName = named(new QLabel(GroupBox1), "lblHTMLFileName");
    lblLargePicture = named(new QLabel(GroupBox1), "lblLargePicture");
    lblSmallPicture = named(new QLabel(GroupBox1), "lblSmallPicture");
    for (QLabel* l : {lblHTMLFileName, lblLargePicture, lblSmallPicture})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ListView1 = settingsList(GroupBox1, "ListView1");
    ListView2 = settingsList(GroupBox1, "ListView2");
    auto* status = new QGridLayout(GroupBox1);
    status->addWidget(new QLabel(QStringLiteral("HTMLファイル"), GroupBox1), 0, 0);
    status->addWidget(lblHTMLFileName, 0, 1, 1, 3);
    status->addWidget(new QLabel(QStringLiteral("大きい画像"), GroupBox1), 1, 0);
    status->addWidget(lblLargePicture, 1, 1);
    status->addWidget(new QLabel(QStringLiteral("小さい画像"), GroupBox1), 1, 2);
    status->addWidget(lblSmallPicture, 1, 3);
    status->addWidget(ListView1, 2, 0, 1, 2);
    status->addWidget(ListView2, 2, 2, 1, 2);
    status->setColumnStretch(1, 1);
    status->setColumnStretch(3, 1);

    GroupBox2 = named(new QGroupBox(QStringLiteral("HTMLファイル設定"), this), "GroupBox2");
    txtTitle = named(new QLineEdit(GroupBox2), "txtTitle");
    lblBackColor = named(new TColorLabel(clWhite, GroupBox2), "lblBackColor");
    Button2 =
        named(new QPushButton(AlbumTexts::Text(AlbumTexts::SChooseColor), GroupBox2), "Button2");
    spnCols = named(new TSpinEdit(1, 10, 3, 2, GroupBox2), "spnCols");
    chkFrame = named(new QCheckBox(QStringLiteral("各画像に枠をつける"), GroupBox2), "chkFrame");
    spnFrameWidth = named(new TSpinEdit(1, 9, 5, 1, GroupBox2), "spnFrameWidth");
    lblFrameColor = named(new TColorLabel(clWhite, GroupBox2), "lblFrameColor");
    Button3 =
        named(new QPushButton(AlbumTexts::Text(AlbumTexts::SChooseColor), GroupBox2), "Button3");
    chkComment =
        named(new QCheckBox(QStringLiteral("画像にコメントをつける"), GroupBox2), "chkComment");
    btnCommentEdit =
        named(new QPushButton(QStringLiteral("コメントの編集"), GroupBox2), "btnCommentEdit");
    GroupBox3 = named(new QGroupBox(QStringLiteral("コメントの位置"), GroupBox2), "GroupBox3");
    rbUp = named(new QRadioButton(QStringLiteral("上"), GroupBox3), "rbUp");
    rbDown = named(new QRadioButton(QStringLiteral("下"), GroupBox3), "rbDown");
    rbDown->setChecked(true);
    auto* position = new QHBoxLayout(GroupBox3);
    position->addWidget(rbUp);
    position->addWidget(rbDown);
    for (QPushButton* b : {Button2, Button3})
        b->setFixedWidth(36);

    auto* page = new QGridLayout(GroupBox2);
    page->addWidget(new QLabel(QStringLiteral("タイトル"), GroupBox2), 0, 0);
    page->addWidget(txtTitle, 0, 1, 1, 5);
    page->addWidget(new QLabel(QStringLiteral("背景色"), GroupBox2), 1, 0);
    page->addWidget(lblBackColor, 1, 1);
    page->addWidget(Button2, 1, 2);
    page->addWidget(new QLabel(QStringLiteral("列数"), GroupBox2), 1, 3);
    page->addWidget(spnCols, 1, 4);
    page->addWidget(chkFrame, 2, 0, 1, 2);
    page->addWidget(new QLabel(QStringLiteral("枠の太さ"), GroupBox2), 2, 3);
    page->addWidget(spnFrameWidth, 2, 4);
    page->addWidget(new QLabel(QStringLiteral("枠の色"), GroupBox2), 3, 0);
    page->addWidget(lblFrameColor, 3, 1);
    page->addWidget(Button3, 3, 2);
    page->addWidget(chkComment, 4, 0, 1, 2);
    page->addWidget(btnCommentEdit, 4, 3, 1, 2);
    page->addWidget(GroupBox3, 5, 0, 1, 5);
    chkSkipUnreadable = named(new QCheckBox(QStringLiteral("読めない画像は飛ばす"), GroupBox2),
                              "chkSkipUnreadable");
    page->addWidget(chkSkipUnreadable, 6, 0, 1, 5);
    page->setColumnStretch(5, 1);

    Button1 = named(new QPushButton(QStringLiteral("作成開始"), this), "Button1");
    btnStop = named(new QPushButton(QStringLiteral("中止"), this), "btnStop");
    btnStop->setEnabled(false);
    Button4 = named(new QPushButton(QStringLiteral("戻る"), this), "Button4");
    btnShowHTML = named(new QPushButton(QStringLiteral("HTMLを開く"), this), "btnShowHTML");
    btnShowHTML->setEnabled(false);
    chkRebuild = named(new QCheckBox(QStringLiteral("すべて作り直す"), this), "chkRebuild");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkRebuild);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(btnStop);
    buttons->addWidget(btnShowHTML);
    buttons->addWidget(Button4);

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    stProgress = named(new TStatusProgressBar(StatusBar1), "stProgress");
    stProgress->hide();
    lblRunStatus = named(new QLabel(StatusBar1), "lblRunStatus");
    lblRunStatus->setMinimumWidth(120);
    StatusBar1->addWidget(lblRunStatus);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1, 1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar1);
}

void TForm3::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm3::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TForm3::FormShow() {
    ++showing_;
    btnShowHTML->setEnabled(false);
    writtenPage_.clear();
    RunHandler(dialogs_, this, [&] {
        ReadAlbumSettings(optionFile_, HTMLFileName, LargeSettings, SmallSettings);
        PageSettings = ReadPageSection(TIniFile(optionFile_));
    });
    chkSkipUnreadable->setChecked(PageSettings.SkipUnreadable);
    pageFileName_ = HTMLFileName;
    lblHTMLFileName->setText(toDisplayQ(pageFileName_));
    BaseFolder = BaseFolderOf(HTMLFileName);
    lblLargePicture->setText(toDisplayQ(LargeSettings.OutputFolder));
    lblSmallPicture->setText(toDisplayQ(SmallSettings.OutputFolder));
    ShowPictureSettings(LargeSettings, ListView1);
    ShowPictureSettings(SmallSettings, ListView2);
}

void TForm3::FormHide() {
    emit hidden();
}

void TForm3::ShowPictureSettings(const TPictureSettings& s, QTreeWidget* listView) {
    listView->clear();
    const auto row = [&](const QString& caption, const QString& value) {
        new QTreeWidgetItem(listView, {caption, value});
    };
    row(QStringLiteral("ヘッダ文字"), toQ(s.Header));
    row(QStringLiteral("画像種類"), toQ(s.PictureType));
    row(QStringLiteral("クオリティ"), QString::number(s.Quality));
    if (s.PictureSizeMode) {
        row(QStringLiteral("倍率"), QString::number(s.Rate) + QStringLiteral("%"));
    } else {
        row(QStringLiteral("高さ"),
            QString::number(s.Vertical) + AlbumTexts::Text(AlbumTexts::SPixels));
        row(QStringLiteral("幅"),
            QString::number(s.Horizonal) + AlbumTexts::Text(AlbumTexts::SPixels));
        // Options added later show only when on, so the list is otherwise as it was.
        if (s.KeepAspect)
            row(AlbumTexts::Text(AlbumTexts::SKeepAspect), AlbumTexts::Text(AlbumTexts::SOptionOn));
    }
    row(AlbumTexts::Text(AlbumTexts::SFileName),
        s.Consecutive ? QStringLiteral("連番") : QStringLiteral("元画像の名前を使用"));
    if (s.Smooth)
        row(AlbumTexts::Text(AlbumTexts::SSmooth), AlbumTexts::Text(AlbumTexts::SOptionOn));
}

TAlbumPageOptions TForm3::PageOptions() const {
    TAlbumPageOptions o;
    o.title = fromQ(txtTitle->text());
    o.backColor = lblBackColor->color();
    o.columns = spnCols->value();
    o.frame = chkFrame->isChecked();
    o.frameWidth = spnFrameWidth->value();
    o.frameColor = lblFrameColor->color();
    o.comments = chkComment->isChecked();
    o.commentsAbove = rbUp->isChecked();
    return o;
}

void TForm3::SetPageOptions(const TAlbumPageOptions& o) {
    txtTitle->setText(toQ(o.title));
    lblBackColor->setColor(o.backColor);
    spnCols->setValue(o.columns);
    chkFrame->setChecked(o.frame);
    spnFrameWidth->setValue(o.frameWidth);
    lblFrameColor->setColor(o.frameColor);
    chkComment->setChecked(o.comments);
    (o.commentsAbove ? rbUp : rbDown)->setChecked(true);
}

void TForm3::Button1Click() {
    // One run at a time: the button is off meanwhile, and a second start would write the
    // same files as the first.
    if (runner_.running())
        return;
    // The run works on what was handed over and shown when it started.
    runShowing_ = showing_;
    started_ = 0;
    stopping_ = false;
    hideWhenStopped_ = false;
    stProgress->setRange(0, 2 * SourceFiles.count());
    stProgress->setValue(0);
    stProgress->show();
    lblRunStatus->clear();
    TAlbumJob job;
    job.htmlFileName = pageFileName_;
    job.sourceFiles = SourceFiles;
    job.large = LargeSettings;
    job.small = SmallSettings;
    job.perPage = PageSettings.PerPage;
    job.skipUnreadable = chkSkipUnreadable->isChecked();
    job.rebuild = chkRebuild->isChecked();
    runner_.start(std::move(job));
    Button1->setEnabled(false);
    btnStop->setEnabled(true);
}

void TForm3::pictureStarted(int index) {
    ++started_; // the largest start first, so the index says nothing of how many
    const TAlbumJob& job = runner_.job();
    const std::string& source = job.sourceFiles[index];
    lblRunStatus->setText(QStringLiteral("%1 / %2  %3")
                              .arg(started_)
                              .arg(job.sourceFiles.count())
                              .arg(toDisplayQ(source.substr(source.rfind('/') + 1))));
}

void TForm3::runConverted() {
    bool completed = false;
    TAlbumRunResult result;
    RunHandler(dialogs_, this, [&] {
        const std::map<std::string, std::string> comments = form4_.Comments();
        result = runner_.finish(PageOptions(),
                                [&comments](const std::string& path) -> std::optional<std::string> {
                                    const auto it = comments.find(path);
                                    if (it == comments.end())
                                        return std::nullopt;
                                    return it->second;
                                });
        completed = true;
    });
    imgWork->clear();
    lblRunStatus->clear();
    if (!completed) {
        runEnded();
        return; // the bar stays where the run stopped
    }
    stProgress->hide();
    runEnded();
    // "HTMLを開く" opens what this showing's run wrote, never a page handed over
    // after the run started, and only this showing's run reports its end.
    if (runShowing_ != showing_)
        return;
    writtenPage_ = runner_.job().htmlFileName;
    btnShowHTML->setEnabled(true);
    emit runFinished();
    QString done = AlbumTexts::Text(AlbumTexts::SDone);
    if (const QString skipped = SkippedPicturesText(result); !skipped.isEmpty())
        done += QLatin1Char('\n') + skipped;
    dialogs_.showMessage(this, done + NotTrashedText(result.notTrashed));
}

void TForm3::runFailed(const QString& message) {
    imgWork->clear();
    lblRunStatus->clear();
    if (std::exchange(stopping_, false)) {
        // Stopped by the user, who needs no message box to learn it.
        lblRunStatus->setText(message);
        runEnded();
        if (std::exchange(hideWhenStopped_, false))
            hide();
        return;
    }
    runEnded();
    dialogs_.showError(this, message);
}

void TForm3::runEnded() {
    Button1->setEnabled(true);
    btnStop->setEnabled(false);
    Button4->setEnabled(true);
}

void TForm3::stop() {
    if (!runner_.running() || stopping_)
        return;
    stopping_ = true;
    btnStop->setEnabled(false);
    runner_.cancel();
}

void TForm3::btnStopClick() {
    stop();
}

bool TForm3::mayLeave() {
    if (!runner_.running())
        return true;
    if (stopping_) {
        hideWhenStopped_ = true;
        return false;
    }
    if (!dialogs_.askYesNo(this, QStringLiteral("確認"), QStringLiteral("作成を中止しますか？"),
                           TMessageIcon::Question))
        return false;
    // The run may have ended while the question was up.
    if (!runner_.running())
        return true;
    hideWhenStopped_ = true;
    Button4->setEnabled(false);
    stop();
    return false;
}

void TForm3::closeEvent(QCloseEvent* event) {
    if (!mayLeave()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm3::chooseColor(TColorLabel* label) {
    if (const auto chosen = dialogs_.chooseColor(this, lastColor_)) {
        lastColor_ = *chosen;
        label->setColor(fromQColor(*chosen));
    }
}

void TForm3::Button2Click() {
    chooseColor(lblBackColor);
}
void TForm3::Button3Click() {
    chooseColor(lblFrameColor);
}
void TForm3::Button4Click() {
    if (mayLeave())
        hide();
}

void TForm3::btnShowHTMLClick() {
    if (writtenPage_.empty())
        return;
    opener_.openChecked(writtenPage_, this, [this](bool ok) {
        if (!ok)
            dialogs_.showError(this, AlbumTexts::Text(BaseTexts::SCannotOpenHtml));
    });
}

void TForm3::btnCommentEditClick() {
    form4_.OpenWith(SourceFiles);
}

} // namespace kelvora

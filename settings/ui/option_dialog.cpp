#include "settings/ui/option_dialog.h"

#include "base/codepage.h"
#include "settings/option_section.h"
#include "settings/page_section.h"
#include "ui/dialogs.h"
#include "ui/spin_edit.h"
#include "ui/window_placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace kelvora {

// The controls of one section's group box.
struct TfrmOption::Section {
    const char* name; // the section of Option.ini
    QLineEdit* header;
    QLineEdit* folder;
    QCheckBox* consecutive;
    QComboBox* pictureType;
    TSpinEdit* quality;
    QLabel* hint;
    QRadioButton* byRate;
    TSpinEdit* rate;
    QRadioButton* byPixels;
    QLineEdit* vertical;
    QLineEdit* horizonal;
    QCheckBox* smooth;
    QCheckBox* keepAspect;
};

namespace {

// Object names of a section's controls, in the order of TfrmOption::Section.
struct SectionNames {
    const char* header;
    const char* folder;
    const char* consecutive;
    const char* pictureType;
    const char* quality;
    const char* hint;
    const char* byRate;
    const char* rate;
    const char* byPixels;
    const char* vertical;
    const char* horizonal;
    const char* smooth;
    const char* keepAspect;
};

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFrame* sunkenPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return panel;
}

QLineEdit* lineEdit(QWidget* parent, const char* name, int width) {
    auto* edit = named(new QLineEdit(parent), name);
    edit->setFixedWidth(width);
    return edit;
}

// Builds one group box: names and texts on the left, the picture size on the right.
QGroupBox* buildSection(QWidget* parent, const QString& title, const QString& headerCaption,
                        const SectionNames& n, TfrmOption::Section& s) {
    auto* box = new QGroupBox(title, parent);

    s.header = lineEdit(box, n.header, 120);
    s.folder = lineEdit(box, n.folder, 160);
    s.consecutive =
        named(new QCheckBox(QStringLiteral("ファイル名を連番にする"), box), n.consecutive);

    auto* format = new QGroupBox(QStringLiteral("画像形式"), box);
    s.pictureType = named(new QComboBox(format), n.pictureType);
    s.pictureType->addItems({QStringLiteral("Jpeg"), QStringLiteral("Png")});
    s.quality = named(new TSpinEdit(1, 100, 100, 3, format), n.quality);
    s.quality->setFixedWidth(64);
    s.hint = named(new QLabel(format), n.hint);
    QFont bold = s.hint->font();
    bold.setBold(true);
    s.hint->setFont(bold);
    auto* formatLayout = new QGridLayout(format);
    formatLayout->addWidget(s.pictureType, 0, 0, 1, 2, Qt::AlignLeft);
    formatLayout->addWidget(new QLabel(QStringLiteral("クオリティ"), format), 1, 0);
    formatLayout->addWidget(s.quality, 1, 1, Qt::AlignLeft);
    formatLayout->addWidget(s.hint, 2, 0, 1, 2);
    formatLayout->setColumnStretch(1, 1);

    auto* size = new QGroupBox(QStringLiteral("画像サイズ"), box);
    s.byRate = named(new QRadioButton(QStringLiteral("倍率指定"), size), n.byRate);
    auto* ratePanel = sunkenPanel(size);
    s.rate = named(new TSpinEdit(1, 200, 100, 3, ratePanel), n.rate);
    s.rate->setFixedWidth(64);
    auto* rateLayout = new QHBoxLayout(ratePanel);
    rateLayout->addWidget(s.rate);
    rateLayout->addWidget(new QLabel(QStringLiteral("％"), ratePanel));
    rateLayout->addStretch(1);
    s.byPixels = named(new QRadioButton(QStringLiteral("ピクセル指定"), size), n.byPixels);
    auto* pixelPanel = sunkenPanel(size);
    s.vertical = lineEdit(pixelPanel, n.vertical, 72);
    s.horizonal = lineEdit(pixelPanel, n.horizonal, 72);
    auto* pixelLayout = new QHBoxLayout(pixelPanel);
    pixelLayout->addWidget(new QLabel(QStringLiteral("縦"), pixelPanel));
    pixelLayout->addWidget(s.vertical);
    pixelLayout->addSpacing(12);
    pixelLayout->addWidget(new QLabel(QStringLiteral("横"), pixelPanel));
    pixelLayout->addWidget(s.horizonal);
    pixelLayout->addStretch(1);
    s.keepAspect = named(new QCheckBox(QStringLiteral("縦横比を保つ"), size), n.keepAspect);
    s.smooth = named(new QCheckBox(QStringLiteral("なめらかに縮小する"), size), n.smooth);
    auto* sizeLayout = new QVBoxLayout(size);
    sizeLayout->addWidget(s.byRate);
    sizeLayout->addWidget(ratePanel);
    sizeLayout->addWidget(s.byPixels);
    sizeLayout->addWidget(pixelPanel);
    auto* scaling = new QHBoxLayout;
    scaling->addWidget(s.keepAspect);
    scaling->addWidget(s.smooth);
    scaling->addStretch(1);
    sizeLayout->addLayout(scaling);
    sizeLayout->addStretch(1);

    auto* names = new QGridLayout;
    names->addWidget(new QLabel(headerCaption, box), 0, 0);
    names->addWidget(s.header, 0, 1, Qt::AlignLeft);
    names->addWidget(new QLabel(QStringLiteral("フォルダ名"), box), 1, 0);
    names->addWidget(s.folder, 1, 1, Qt::AlignLeft);
    names->addWidget(s.consecutive, 2, 0, 1, 2);
    auto* left = new QVBoxLayout;
    left->addLayout(names);
    left->addWidget(format);
    auto* layout = new QHBoxLayout(box);
    layout->addLayout(left, 1);
    layout->addWidget(size, 1);
    return box;
}

} // namespace

TfrmOption::TfrmOption(std::string optionFileName, TDialogs& dialogs, QWidget* mainWindow,
                       QWidget* parent)
    // A title bar with the window menu only: no minimise, maximise or close button.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint),
      optionFileName_(std::move(optionFileName)), dialogs_(dialogs), mainWindow_(mainWindow),
      large_(std::make_unique<Section>()), small_(std::make_unique<Section>()) {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("オプション画面"));

    large_->name = "Large";
    small_->name = "Small";
    QGroupBox* largeBox = buildSection(this, QStringLiteral("大きい画像ファイルのプロパティ"),
                                       QStringLiteral("大きい画像の頭文字"),
                                       {"Edit1", "Edit2", "CheckBox1", "ComboBox1", "SpinEdit1",
                                        "Label3", "RadioButton1", "SpinEdit2", "RadioButton2",
                                        "Edit3", "Edit4", "CheckBox3", "CheckBox4"},
                                       *large_);
    QGroupBox* smallBox = buildSection(this, QStringLiteral("小さい画像ファイルのプロパティ"),
                                       QStringLiteral("小さい画像の頭文字"),
                                       {"Edit5", "Edit6", "CheckBox2", "ComboBox2", "SpinEdit4",
                                        "Label13", "RadioButton3", "SpinEdit3", "RadioButton4",
                                        "Edit7", "Edit8", "CheckBox5", "CheckBox6"},
                                       *small_);
    Edit1 = large_->header;
    Edit2 = large_->folder;
    ComboBox1 = large_->pictureType;
    SpinEdit1 = large_->quality;
    RadioButton1 = large_->byRate;
    RadioButton2 = large_->byPixels;
    SpinEdit2 = large_->rate;
    Edit3 = large_->vertical;
    Edit4 = large_->horizonal;
    CheckBox1 = large_->consecutive;
    Label3 = large_->hint;
    Edit5 = small_->header;
    Edit6 = small_->folder;
    ComboBox2 = small_->pictureType;
    SpinEdit4 = small_->quality;
    RadioButton3 = small_->byRate;
    RadioButton4 = small_->byPixels;
    SpinEdit3 = small_->rate;
    Edit7 = small_->vertical;
    Edit8 = small_->horizonal;
    CheckBox2 = small_->consecutive;
    Label13 = small_->hint;
    CheckBox3 = large_->smooth;
    CheckBox4 = large_->keepAspect;
    CheckBox5 = small_->smooth;
    CheckBox6 = small_->keepAspect;

    Button1 = named(new QPushButton(QStringLiteral("取り消し"), this), "Button1");
    Button2 = named(new QPushButton(QStringLiteral("設定保存"), this), "Button2");
    // The page's options share the buttons' line, so the two sections keep their room.
    spnPerPage = named(new TSpinEdit(0, kMaxPerPage, 0, 4, this), "spnPerPage");
    chkSkipUnreadable =
        named(new QCheckBox(QStringLiteral("読めない画像は飛ばす"), this), "chkSkipUnreadable");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("1ページの枚数"), this));
    buttons->addWidget(spnPerPage);
    buttons->addWidget(new QLabel(QStringLiteral("(0: 1ページ)"), this));
    buttons->addSpacing(16);
    buttons->addWidget(chkSkipUnreadable);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addSpacing(16);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(largeBox);
    layout->addWidget(smallBox);
    layout->addLayout(buttons);

    // The classic 688 x 523, taller by the row of scaling options in each section
    // and the row of page options.
    setFixedSize(688, 600);
    CenterOnScreen(*this);

    for (QLineEdit* pixels : {Edit3, Edit4, Edit7, Edit8})
        pixels->installEventFilter(this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TfrmOption::Timer1Timer);
    connect(Button1, &QPushButton::clicked, this, &TfrmOption::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmOption::Button2Click);
    Timer1->start();
}

TfrmOption::~TfrmOption() = default;

void TfrmOption::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmOption::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TfrmOption::closeEvent(QCloseEvent* event) {
    // Only the two buttons leave the dialog (Alt+F4 and the window manager's close too).
    event->ignore();
}

void TfrmOption::FormShow() {
    // Kept above the disabled main window by the window manager.
    if (mainWindow_ && windowHandle() && mainWindow_->windowHandle())
        windowHandle()->setTransientParent(mainWindow_->windowHandle());
    const QString hint = QStringLiteral("最大高画質（最低圧縮）は[100]、\n"
                                        "最大高圧縮（最低画質）は[1]です。");
    Label3->setText(hint);
    Label13->setText(hint);
    if (mainWindow_)
        mainWindow_->setEnabled(false);
    optionFile_ = std::make_unique<TIniFile>(optionFileName_);
    loadSection(*large_, ReadOptionSection(*optionFile_, large_->name));
    loadSection(*small_, ReadOptionSection(*optionFile_, small_->name));
    const TPageSection page = ReadPageSection(*optionFile_);
    spnPerPage->setValue(page.PerPage);
    chkSkipUnreadable->setChecked(page.SkipUnreadable);
}

void TfrmOption::loadSection(const Section& s, const TOptionSection& v) {
    s.header->setText(toQ(v.Header));
    s.folder->setText(toQ(v.Folder));
    // A type the list does not hold shows as "Jpeg", which is what the run makes of it.
    const int type =
        s.pictureType->findText(toQ(v.PictureType), Qt::MatchExactly | Qt::MatchCaseSensitive);
    s.pictureType->setCurrentIndex(type < 0 ? 0 : type);
    s.quality->setValue(v.Quality);
    s.rate->setValue(v.Rate);
    (v.PictureSizeMode ? s.byRate : s.byPixels)->setChecked(true);
    s.vertical->setText(toQ(v.Vertical));
    s.horizonal->setText(toQ(v.Horizonal));
    s.consecutive->setChecked(v.Consecutive);
    s.smooth->setChecked(v.Smooth);
    s.keepAspect->setChecked(v.KeepAspect);
}

TOptionSection TfrmOption::readSection(const Section& s) const {
    TOptionSection v;
    v.Header = fromQ(s.header->text());
    v.Folder = fromQ(s.folder->text());
    v.PictureType = fromQ(s.pictureType->currentText());
    v.Quality = s.quality->Value();
    v.PictureSizeMode = s.byRate->isChecked();
    v.Rate = s.rate->Value();
    v.Vertical = fromQ(s.vertical->text());
    v.Horizonal = fromQ(s.horizonal->text());
    v.Consecutive = s.consecutive->isChecked();
    v.Smooth = s.smooth->isChecked();
    v.KeepAspect = s.keepAspect->isChecked();
    return v;
}

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

bool TfrmOption::Edit3KeyPress(const QKeyEvent& event) const {
    // Tab moves the focus and Delete deletes: neither types a character into the
    // box, though X11 gives Delete the text "\x7f".
    if (event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab ||
        event.key() == Qt::Key_Delete)
        return true;
    const QString typed = event.text();
    if (typed.isEmpty())
        return true; // no character: arrows, Home, End
    return typed.size() == 1 && isDigit(typed[0]);
}

bool TfrmOption::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Edit3 && watched != Edit4 && watched != Edit7 && watched != Edit8)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress)
        return !Edit3KeyPress(static_cast<const QKeyEvent&>(*event));
    if (event->type() == QEvent::InputMethod) {
        // What an input method commits passes the same filter as typed keys.
        auto& input = static_cast<QInputMethodEvent&>(*event);
        QString digits = input.commitString();
        digits.removeIf([](QChar c) { return !isDigit(c); });
        if (digits != input.commitString()) {
            QInputMethodEvent filtered(input.preeditString(), input.attributes());
            filtered.setCommitString(digits, input.replacementStart(), input.replacementLength());
            QCoreApplication::sendEvent(watched, &filtered);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmOption::Timer1Timer() {
    SpinEdit2->setEnabled(RadioButton1->isChecked());
    Edit3->setEnabled(RadioButton2->isChecked());
    Edit4->setEnabled(RadioButton2->isChecked());
    SpinEdit3->setEnabled(RadioButton3->isChecked());
    Edit7->setEnabled(RadioButton4->isChecked());
    Edit8->setEnabled(RadioButton4->isChecked());
    CheckBox4->setEnabled(RadioButton2->isChecked());
    CheckBox6->setEnabled(RadioButton4->isChecked());
}

void TfrmOption::Button1Click() {
    if (dialogs_.askYesNo(this, QStringLiteral("情報"),
                          QStringLiteral("保存せずに前画面に戻ります。\nよろしいですか？"),
                          TMessageIcon::Information))
        hide();
}

void TfrmOption::Button2Click() {
    if (!optionFile_)
        return;
    // A refused write is shown; the dialog stays, so the user can retry or cancel.
    RunHandler(dialogs_, this, [&] {
        const TOptionSection large = readSection(*large_);
        const TOptionSection small = readSection(*small_);
        WriteOptionSection(*optionFile_, large_->name, large);
        WriteOptionSection(*optionFile_, small_->name, small);
        // The keys added later come after the eighteen.
        WriteScalingOptions(*optionFile_, large_->name, large);
        WriteScalingOptions(*optionFile_, small_->name, small);
        WritePageSection(*optionFile_, {spnPerPage->Value(), chkSkipUnreadable->isChecked()});
        hide();
    });
}

void TfrmOption::FormHide() {
    optionFile_.reset();
    if (mainWindow_)
        mainWindow_->setEnabled(true);
}

} // namespace kelvora

#include "app/version_window.h"

#include "app/app_texts.h"
#include "app/splash.h"
#include "app/version_info.h"
#include "ui/url_link.h"
#include "ui/window_placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWindow>

namespace kelvora {
namespace {

QFont pixelFont(const QFont& base, int pixels, bool bold) {
    QFont font = base;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void setTextColor(QWidget* w, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

QLabel* whiteLabel(const QString& text, QWidget* parent, const char* name, int pixels, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(pixelFont(label->font(), pixels, bold));
    setTextColor(label, Qt::white);
    return label;
}

TURLLink* link(TShellOpener& opener, QWidget* parent, const char* name) {
    auto* l = new TURLLink(opener, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setText(QString::fromLatin1(name));
    setTextColor(l, Qt::yellow);
    l->LinkColor = Qt::red;
    l->EnableShowHint = false;
    return l;
}

QGroupBox* groupBox(const QString& title, QWidget* parent, const char* name) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(pixelFont(box->font(), 15, true));
    setTextColor(box, Qt::white);
    return box;
}

} // namespace

TfrmVersion::TfrmVersion(const TfrmSplash& splash, TShellOpener& opener, QWidget* mainWindow,
                         std::string executable, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mainWindow_(mainWindow), executable_(std::move(executable)) {
    setObjectName(QStringLiteral("frmVersion"));
    setWindowTitle(AppTexts::Text(AppTexts::SVersionInfo));
    SetGreyBackground(*this);
    setFixedSize(407, 444);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(3, 3, 400, 250);
    Label2 = whiteLabel(QStringLiteral("Label2"), this, "Label2", 16, false);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setGeometry(3, 3 + 250 - 34, 400 - 14, 24);
    Label1 = whiteLabel(QStringLiteral("Label1"), this, "Label1", 27, false);
    Label1->hide();
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(8, 8, 32, 32);
    Image2->hide();

    GroupBox1 = groupBox(QStringLiteral("作者名"), this, "GroupBox1");
    GroupBox1->setGeometry(8, 258, 146, 92);
    Label3 = whiteLabel(QString::fromUtf8(maker::kAuthor), GroupBox1, "Label3", 12, false);
    Label3->setWordWrap(true);
    GroupBox2 = groupBox(QStringLiteral("HP／メールアドレス"), this, "GroupBox2");
    GroupBox2->setGeometry(160, 258, 239, 92);
    URLLink1 = link(opener, GroupBox2, "URLLink1");
    URLLink1->URLType = tpURL;
    URLLink1->Link = QString::fromUtf8(maker::kHomePage);
    URLLink2 = link(opener, GroupBox2, "URLLink2");
    URLLink2->URLType = tpMAIL;
    URLLink2->Link = QString::fromUtf8(maker::kMailAddress);
    URLLink2->setText(URLLink2->Link);
    for (QLabel* l : {Label3, static_cast<QLabel*>(URLLink1), static_cast<QLabel*>(URLLink2)})
        l->setFont(pixelFont(font(), 12, false));
    auto* author = new QVBoxLayout(GroupBox1);
    author->addWidget(Label3);
    author->addStretch(1);
    auto* links = new QVBoxLayout(GroupBox2);
    links->setSpacing(4);
    links->addWidget(URLLink1, 0, Qt::AlignLeft);
    links->addWidget(URLLink2, 0, Qt::AlignLeft);
    links->addStretch(1);

    Label4 = whiteLabel(QStringLiteral("Label4"), this, "Label4", 11, false);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4->setGeometry(8, 444 - 81 - 6, 268, 81);
    Label5 = whiteLabel(QStringLiteral("Brenwick"), this, "Label5", 15, true);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    Label5->setGeometry(284, 444 - 32, 407 - 284 - 10, 24);

    CenterOnScreen(*this);
    FormCreate(splash);
}

void TfrmVersion::FormCreate(const TfrmSplash& splash) {
    // A failing step leaves this and the following controls with their design captions.
    try {
        Image1->setPixmap(TransparentPicture(splash.Picture()));
        Label1->setText(GetVersionValue(9, executable_));
        Label2->setText(QStringLiteral("Version: ") + GetVersionValue(10, executable_));
        Label4->setText(QStringLiteral("このソフトウェアの使用に関して、直接的または\n"
                                       "間接的に生じる一切の損害当について、\n"
                                       "作者は如何なる責任も負いません。\n"
                                       "このことは、このソフトウェアの使用をもって\n"
                                       "同意されたものと見なします。"));
        URLLink1->setText(QString::fromUtf8(maker::kHomePageTitle) + QLatin1Char('\n') +
                          QString::fromUtf8(maker::kHomePage));
        Image2->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    } catch (const std::exception&) {
    }
}

void TfrmVersion::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmVersion::FormShow() {
    if (mainWindow_ && windowHandle() && mainWindow_->windowHandle())
        windowHandle()->setTransientParent(mainWindow_->windowHandle());
    if (mainWindow_)
        mainWindow_->setEnabled(false);
}

bool TfrmVersion::FormCloseQuery() {
    if (mainWindow_)
        mainWindow_->setEnabled(true);
    return true;
}

void TfrmVersion::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfrmVersion::keyPressEvent(QKeyEvent* event) {
    // Without a window manager's close button Escape is the only way out.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

} // namespace kelvora

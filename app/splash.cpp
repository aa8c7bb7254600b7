#include "app/splash.h"

#include "ui/window_placement.h"

#include <QBitmap>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

// Resources of a static library are registered by name from the global namespace.
static void initAppResourcesOnce() {
    static bool done = false;
    if (!done)
        Q_INIT_RESOURCE(app);
    done = true;
}

namespace kelvora {

void InitAppResources() {
    initAppResourcesOnce();
}

QPixmap TransparentPicture(const QImage& picture) {
    QPixmap pixmap = QPixmap::fromImage(picture);
    if (!picture.isNull())
        pixmap.setMask(pixmap.createMaskFromColor(picture.pixelColor(0, picture.height() - 1),
                                                  Qt::MaskInColor));
    return pixmap;
}

void SetGreyBackground(QWidget& window) {
    QPalette p = window.palette();
    p.setColor(QPalette::Window, QColor(kBackgroundGrey));
    window.setPalette(p);
    window.setAutoFillBackground(true);
}

QIcon ApplicationIcon() {
    InitAppResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/kelvora/icons/kelvora-%1.png").arg(size), QSize(size, size));
    return icon;
}

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    InitAppResources();
    setObjectName(QStringLiteral("frmSplash"));
    SetGreyBackground(*this);
    picture_ =
        QImage(QStringLiteral(":/kelvora/splash.png")).convertToFormat(QImage::Format_RGB888);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(TransparentPicture(picture_));
    Image1->setGeometry(0, 0, picture_.width(), picture_.height());

    Label1 = new QLabel(QStringLiteral("NowLoading..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont font = Label1->font();
    font.setPixelSize(16);
    font.setBold(true);
    Label1->setFont(font);
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(p);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setGeometry(0, picture_.height() - 34, picture_.width() - 14, 24);

    setFixedSize(picture_.size());
    CenterOnScreen(*this);
}

} // namespace kelvora

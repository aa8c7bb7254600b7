#pragma once
// The splash: the program's picture with "NowLoading..." on a dark grey, borderless
// window, shown while the program creates its windows. The about box copies its picture.
#include <QImage>
#include <QWidget>

class QLabel;

namespace kelvora {

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1; // "NowLoading..."

    // The picture as stored: 400 x 250, 24 bits per pixel.
    const QImage& Picture() const { return picture_; }

private:
    QImage picture_;
};

// The program's window background, 0x666666.
inline constexpr QRgb kBackgroundGrey = 0x666666;

// A picture drawn transparent: the colour of its bottom-left pixel lets the window's
// background show through.
QPixmap TransparentPicture(const QImage& picture);
// A dark grey window background for a window of the program's picture.
void SetGreyBackground(QWidget& window);
// Registers the pictures and icons the program's windows carry (once).
void InitAppResources();
// The program's icon at every size it ships.
QIcon ApplicationIcon();

} // namespace kelvora

#pragma once
// Exif orientations (1 to 8): how a picture stored one way is turned so that it is
// seen upright. Cameras store portrait photos sideways and record 6 or 8.
#include <QImage>
#include <QPoint>
#include <QSize>

namespace kelvora {

// 1 for values outside 1..8 (absent or damaged tags).
constexpr int ValidOrientation(int orientation) {
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}
// Orientations 5 to 8 turn the picture a quarter: width and height trade places.
constexpr bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
QSize UprightSize(QSize stored, int orientation);
// The stored pixel that the upright picture shows at column u, row v.
QPoint StoredPoint(int orientation, QSize stored, int u, int v);
// The picture turned upright, in its own pixel format and palette.
QImage Upright(const QImage& stored, int orientation);

} // namespace kelvora

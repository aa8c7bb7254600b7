#pragma once
#include <QImage>

namespace kelvora {

// The whole picture resampled to exactly width x height by nearest neighbour:
// rows and columns are dropped or repeated, never blended. Palette pictures stay
// palette pictures. A zero side gives a null image.
QImage ScaleNearest(const QImage& source, int width, int height);

} // namespace kelvora

#pragma once
#include <QImage>
#include <vector>

namespace kelvora {

// For each of targetSize positions, the source position nearest-neighbour
// sampling takes: the one under the target position's centre.
std::vector<int> NearestSampleMap(int sourceSize, int targetSize);

// The whole picture resampled to exactly width x height by nearest neighbour:
// rows and columns are dropped or repeated, never blended. Palette pictures stay
// palette pictures. A zero side gives a null image.
QImage ScaleNearest(const QImage& source, int width, int height);

} // namespace kelvora

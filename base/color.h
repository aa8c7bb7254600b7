#pragma once
// A colour value with red in the lowest byte, then green, then blue.
#include <QColor>
#include <cstdint>

namespace kelvora {

using TColor = std::uint32_t;

constexpr TColor RGB(int r, int g, int b) {
    return static_cast<TColor>(r & 0xFF) | static_cast<TColor>(g & 0xFF) << 8 |
           static_cast<TColor>(b & 0xFF) << 16;
}
inline constexpr TColor clWhite = RGB(255, 255, 255);

inline QColor toQColor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
inline TColor fromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

} // namespace kelvora

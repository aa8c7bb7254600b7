#pragma once
#include <QImage>
#include <string>

namespace kelvora {

// The picture as a PNG byte stream: palette pictures stay 8-bit paletted,
// everything else becomes 24-bit RGB. A null image gives no bytes.
std::string EncodePng(const QImage& image);

} // namespace kelvora

#pragma once
// The main window's preview: a picture file decoded for a control that shows it
// stretched. A JPEG is decoded at the smallest of libjpeg's reduced scales (1/8, 1/4,
// 1/2) that still covers the control in device pixels, so that going through a folder
// of large photographs stays quick; other formats are decoded whole.
#include <string>

namespace kelvora {

class TImage;

// Loads the file into image through the picture loader and decodes it now. Raises the
// loader's and the decoder's errors; the control then keeps what it showed.
void LoadPreview(TImage& image, const std::string& path);

} // namespace kelvora

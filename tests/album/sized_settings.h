#pragma once
// Conversion settings of one kind for tests that convert the same picture at
// many sizes: Rate percent, or stretched to Horizonal x Vertical pixels.
#include "album/picture_settings.h"

namespace kelvora::test {

inline TPictureSettings sizedSettings(const char* pictureType, bool percent, int rate, int width,
                                      int height, int quality) {
    TPictureSettings s = DefaultPictureSettings(TPictureKind::Large);
    s.PictureType = pictureType;
    s.PictureSizeMode = percent;
    s.Rate = rate;
    s.Horizonal = width;
    s.Vertical = height;
    s.Quality = quality;
    return s;
}

} // namespace kelvora::test

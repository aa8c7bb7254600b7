#pragma once
// Making a thumbnail from a picture file, as small a decode as the format allows:
// a JPEG from its Exif thumbnail when that is large enough, else through
// libjpeg-turbo's DCT scaling at the smallest scale that still covers the
// thumbnail; a plug-in format through the plug-ins in the helper process, asking
// for their preview first; the other formats through the picture loader. The
// thumbnail is upright, keeps the picture's proportions, is scaled down smoothly
// and never up.
//
// Threading: every call uses objects of its own; the picture loader's format list
// and the plug-in manager are only read, so calls run on several threads at once.
#include <QImage>
#include <QSize>
#include <atomic>
#include <string>

namespace kelvora {

enum class TThumbnailDecoder { None, Jpeg, Plugin, Loader };
// How a file is decoded, from its extension as the picture loader sees it: None
// for a file the loader does not read, and for a plug-in format without plug-ins.
TThumbnailDecoder ThumbnailDecoderFor(const std::string& path, bool withPlugins);

// The largest size of the picture's proportions that fits in side x side and is
// no larger than the picture; at least one pixel a side.
QSize FitInside(QSize picture, int side);

struct TMadeThumbnail {
    QImage image;
    QSize original; // the upright picture's size, when known
};
// Raises the decoders' errors (a picture larger than the program decodes among
// them), and EAbort once *cancelled is true.
TMadeThumbnail MakeThumbnail(const std::string& path, TThumbnailDecoder decoder, int side,
                             const std::atomic<bool>* cancelled);

} // namespace kelvora

#pragma once
// One picture of a run: its large and small copies written into staged files,
// streamed from a JPEG file when it can be, converted row by row from the bitmap
// a plug-in returns for a picture in a plug-in format, from the picture loader
// otherwise. The files are those of loading the picture whole and converting it.
#include "album/picture_settings.h"

#include <QImage>
#include <atomic>
#include <cstddef>
#include <string>

namespace kelvora {

class TStagedFile;

struct TPictureJob {
    std::string source;
    const TPictureSettings* large;
    const TPictureSettings* small;
};

// Side of the small copy a run shows of each picture.
inline constexpr int kRunPreviewSide = 160;

// Whether the picture is decoded row by row (a JPEG for the JPEG class, both
// outputs JPEG, the decoder's settings the usual ones).
bool IsStreamable(const TPictureJob& job);

// Whether the picture goes through a plug-in (its extension's class is
// TSPIBitmap) and is converted from the plug-in's bitmap.
bool IsPluginPicture(const TPictureJob& job);

// About how much memory converting the picture takes, from its header (for a
// plug-in picture, the bitmap of the size its plug-in tells; 2^28 pixels when it
// cannot tell); 0 when the file cannot be read (its conversion will say why).
std::size_t EstimateWorkingMemory(const TPictureJob& job);

// Writes the large copy into `large` and the small one into `small`, and returns a
// small upright copy for showing. outputDone is called as each copy is finished.
// Errors are those of loading the picture through the picture loader; a picture
// with no pixels raises EInvalidGraphic. stop: EAbort at the next look.
QImage ConvertPictureJob(const TPictureJob& job, TStagedFile& large, TStagedFile& small,
                         const std::function<void()>& outputDone, const std::atomic<bool>* stop);

} // namespace kelvora

#pragma once
// One conversion of the album run: a decoded source picture scaled to the size
// the settings give, encoded, and written into the kind's output folder.
#include "album/picture_settings.h"

#include <QImage>
#include <QSize>
#include <string>

namespace kelvora {

class TStringList;

// W x Rate / 100 and H x Rate / 100 (truncated) in percent mode, Horizonal x
// Vertical in pixel mode; with KeepAspect, the largest size of W:H inside that
// (enlarged as well), the other side rounded to the nearest pixel. A side that would shrink to
// nothing from a side of at least one pixel keeps one pixel. Sides of 0 or less and sizes beyond
// the picture limit raise EInvalidGraphicOperation / EOutOfResources.
QSize TargetSize(const TPictureSettings& settings, int width, int height);
// Whether a JPEG output keeps its colours at full resolution (4:4:4): smoothly
// scaled pictures of up to a megapixel, where halving the colours' resolution
// would show on edges; larger ones keep the common 4:2:0, which costs less time.
bool FullChromaOutput(const TPictureSettings& settings, QSize size);

// The file name a picture gets: OutputFolder + Header + (index or source name)
// + ".jpg" (".png" for PictureType "Png").
std::string TargetFileName(const TPictureSettings& settings, const std::string& sourceFile,
                           int index);

// Raises EInvalidGraphic naming a PictureType other than "Jpeg" or "Png".
void CheckPictureType(const TPictureSettings& settings);

// The picture scaled to its target size and encoded as the settings say: the
// bytes of the file to write.
std::string EncodeScaledPicture(const TPictureSettings& settings, const QImage& picture);

// Scales picture (the decoded source at position index of the run's list, read
// from sourceFile), creates OutputFolder, appends the target's file name to names
// and then writes the file. A PictureType other than "Jpeg" or "Png" raises
// EInvalidGraphic naming it, before a name is recorded. Write failures raise
// "ファイル %s を作成できません".
void ConvertPicture(const TPictureSettings& settings, const QImage& picture,
                    const std::string& sourceFile, int index, TStringList& names);

} // namespace kelvora

#pragma once
// What a run will write, worked out and checked before anything is written: the
// settings must ask for a picture, and no file the run writes may be one of its
// own pictures.
#include "album/picture_settings.h"
#include "base/stringlist.h"

#include <string>

namespace kelvora {

struct TAlbumJob;

struct TAlbumPlan {
    TStringList largeNames; // one per picture, in the list's order
    TStringList smallNames;
};

// Raises, before anything is written: EInvalidOperation naming the section and key
// of a size that asks for nothing (Rate, Horizonal or Vertical of 0 or less, as the
// size mode uses them); EInvalidGraphic for a PictureType other than "Jpeg" or
// "Png"; EFCreateError naming both files when a picture or the page would be
// written over one of the pictures (the same path, or the same file through a link).
TAlbumPlan PlanAlbum(const TAlbumJob& job);

// The settings of one kind asking for a picture at all.
void CheckPictureSize(const TPictureSettings& settings, TPictureKind kind);

} // namespace kelvora

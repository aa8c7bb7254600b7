#pragma once
// The conversion settings of one picture kind (large or small), as kept in the
// sections "Large" and "Small" of Option.ini.
#include <string>

namespace kelvora {

class TIniFile;

struct TPictureSettings {
    std::string Header;          // prefix of every file name of this kind
    std::string Folder;          // folder relative to the page's folder
    std::string PictureType;     // "Jpeg" or "Png", compared case-sensitively
    int Quality = 0;             // only its low byte reaches the encoder
    bool PictureSizeMode = true; // true: Rate percent; false: Horizonal x Vertical pixels
    int Rate = 0;
    int Vertical = 0;
    int Horizonal = 0;
    bool Consecutive = true;  // true: Header + position; false: Header + source name
    bool Smooth = false;      // filtered (Lanczos) scaling instead of nearest neighbour
    bool KeepAspect = false;  // pixel mode: fit inside Horizonal x Vertical, undistorted
    std::string OutputFolder; // derived from the page's folder; ends in "/"

    bool operator==(const TPictureSettings&) const = default;
};

enum class TPictureKind { Large, Small };

// The section name of a kind: "Large" or "Small".
const char* SectionName(TPictureKind kind);
// What a kind's settings are when Option.ini lacks every key.
TPictureSettings DefaultPictureSettings(TPictureKind kind);
// Reads the keys of the kind's section, each falling back to its default.
TPictureSettings ReadPictureSettings(const TIniFile& ini, TPictureKind kind);

} // namespace kelvora

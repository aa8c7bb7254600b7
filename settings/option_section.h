#pragma once
// One section of Option.ini ("Large" or "Small") as the options dialog edits it. The
// pixel sizes stay text, so that whatever their boxes hold is shown and written back
// unchanged; the album run reads them as numbers (album/picture_settings.h).
#include <string>
#include <string_view>

namespace kelvora {

class TIniFile;

struct TOptionSection {
    std::string Header;
    std::string Folder;
    std::string PictureType;
    int Quality = 0;
    bool PictureSizeMode = true;
    int Rate = 0;
    std::string Vertical;
    std::string Horizonal;
    bool Consecutive = true;
    // Options added later; absent from the file, they are off.
    bool Smooth = false;     // filtered scaling instead of picking pixels
    bool KeepAspect = false; // pixel mode fits inside the size instead of stretching

    bool operator==(const TOptionSection&) const = default;
};

// The values of a section whose keys are all missing; `section` is "Large" or "Small".
TOptionSection DefaultOptionSection(std::string_view section);
// Reads the section's keys, each falling back to its default.
TOptionSection ReadOptionSection(const TIniFile& ini, std::string_view section);
// Writes the nine keys in their fixed order: Header, Folder, PictureType, Quality,
// PictureSizeMode, Rate, Vertical, Horizonal, Consecutive. A refused write raises
// EIniFileException; the keys before it stay written.
void WriteOptionSection(TIniFile& ini, std::string_view section, const TOptionSection& values);
// Writes the keys added after the nine, Smooth then KeepAspect: the dialog writes
// them once both sections' nine are written, so that a file of the nine keys
// keeps its order.
void WriteScalingOptions(TIniFile& ini, std::string_view section, const TOptionSection& values);

} // namespace kelvora

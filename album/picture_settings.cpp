#include "album/picture_settings.h"

#include "settings/inifile.h"

namespace kelvora {

const char* SectionName(TPictureKind kind) {
    return kind == TPictureKind::Large ? "Large" : "Small";
}

TPictureSettings DefaultPictureSettings(TPictureKind kind) {
    // Built whole rather than assigned field by field: GCC 12 warns falsely
    // (-Wrestrict) about assigning short literals to strings in Release builds.
    if (kind == TPictureKind::Large)
        return {.Header = "L",
                .Folder = "large",
                .PictureType = "Jpeg",
                .Quality = 255, // the encoder takes anything above 100 as 100
                .PictureSizeMode = true,
                .Rate = 50,
                .Vertical = 300,
                .Horizonal = 300,
                .Consecutive = true,
                .OutputFolder = {}};
    return {.Header = "S",
            .Folder = "Small",
            .PictureType = "Jpeg",
            .Quality = 100,
            .PictureSizeMode = true,
            .Rate = 30,
            .Vertical = 100,
            .Horizonal = 100,
            .Consecutive = true,
            .OutputFolder = {}};
}

TPictureSettings ReadPictureSettings(const TIniFile& ini, TPictureKind kind) {
    const TPictureSettings d = DefaultPictureSettings(kind);
    const std::string section = SectionName(kind);
    TPictureSettings s;
    s.Header = ini.ReadString(section, "Header", d.Header);
    s.Folder = ini.ReadString(section, "Folder", d.Folder);
    s.PictureType = ini.ReadString(section, "PictureType", d.PictureType);
    s.Quality = ini.ReadInteger(section, "Quality", d.Quality);
    s.PictureSizeMode = ini.ReadBool(section, "PictureSizeMode", d.PictureSizeMode);
    s.Rate = ini.ReadInteger(section, "Rate", d.Rate);
    s.Vertical = ini.ReadInteger(section, "Vertical", d.Vertical);
    s.Horizonal = ini.ReadInteger(section, "Horizonal", d.Horizonal);
    s.Consecutive = ini.ReadBool(section, "Consecutive", d.Consecutive);
    return s;
}

} // namespace kelvora

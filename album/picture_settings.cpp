#include "album/picture_settings.h"

#include "settings/inifile.h"

namespace kelvora {

const char* SectionName(TPictureKind kind) {
    return kind == TPictureKind::Large ? "Large" : "Small";
}

TPictureSettings DefaultPictureSettings(TPictureKind kind) {
    TPictureSettings s;
    if (kind == TPictureKind::Large) {
        s.Header = "L";
        s.Folder = "large";
        s.Quality = 255; // the encoder takes anything above 100 as 100
        s.Rate = 50;
        s.Vertical = 300;
        s.Horizonal = 300;
    } else {
        s.Header = "S";
        s.Folder = "Small";
        s.Quality = 100;
        s.Rate = 30;
        s.Vertical = 100;
        s.Horizonal = 100;
    }
    s.PictureType = "Jpeg";
    s.PictureSizeMode = true;
    s.Consecutive = true;
    return s;
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

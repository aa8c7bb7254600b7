#include "settings/option_section.h"

#include "settings/inifile.h"

namespace kelvora {

TOptionSection DefaultOptionSection(std::string_view section) {
    // Built whole rather than assigned field by field: GCC 12 warns falsely
    // (-Wrestrict) about assigning short literals to strings in Release builds.
    if (section == "Large")
        return {.Header = "L",
                .Folder = "large",
                .PictureType = "Jpeg",
                .Quality = 255, // the encoder takes anything above 100 as 100
                .PictureSizeMode = true,
                .Rate = 50,
                .Vertical = "300",
                .Horizonal = "300",
                .Consecutive = true};
    return {.Header = "S",
            .Folder = "Small",
            .PictureType = "Jpeg",
            .Quality = 100,
            .PictureSizeMode = true,
            .Rate = 30,
            .Vertical = "100",
            .Horizonal = "100",
            .Consecutive = true};
}

TOptionSection ReadOptionSection(const TIniFile& ini, std::string_view section) {
    const TOptionSection d = DefaultOptionSection(section);
    TOptionSection s;
    s.Header = ini.ReadString(section, "Header", d.Header);
    s.Folder = ini.ReadString(section, "Folder", d.Folder);
    s.PictureType = ini.ReadString(section, "PictureType", d.PictureType);
    s.Quality = ini.ReadInteger(section, "Quality", d.Quality);
    s.PictureSizeMode = ini.ReadBool(section, "PictureSizeMode", d.PictureSizeMode);
    s.Rate = ini.ReadInteger(section, "Rate", d.Rate);
    s.Vertical = ini.ReadString(section, "Vertical", d.Vertical);
    s.Horizonal = ini.ReadString(section, "Horizonal", d.Horizonal);
    s.Consecutive = ini.ReadBool(section, "Consecutive", d.Consecutive);
    s.Smooth = ini.ReadBool(section, "Smooth", d.Smooth);
    s.KeepAspect = ini.ReadBool(section, "KeepAspect", d.KeepAspect);
    return s;
}

void WriteOptionSection(TIniFile& ini, std::string_view section, const TOptionSection& v) {
    ini.WriteString(section, "Header", v.Header);
    ini.WriteString(section, "Folder", v.Folder);
    ini.WriteString(section, "PictureType", v.PictureType);
    ini.WriteInteger(section, "Quality", v.Quality);
    ini.WriteBool(section, "PictureSizeMode", v.PictureSizeMode);
    ini.WriteInteger(section, "Rate", v.Rate);
    ini.WriteString(section, "Vertical", v.Vertical);
    ini.WriteString(section, "Horizonal", v.Horizonal);
    ini.WriteBool(section, "Consecutive", v.Consecutive);
}

void WriteScalingOptions(TIniFile& ini, std::string_view section, const TOptionSection& v) {
    ini.WriteBool(section, "Smooth", v.Smooth);
    ini.WriteBool(section, "KeepAspect", v.KeepAspect);
}

} // namespace kelvora

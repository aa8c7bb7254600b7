#include "settings/option_section.h"

#include "settings/inifile.h"

namespace kelvora {

TOptionSection DefaultOptionSection(std::string_view section) {
    const bool large = section == "Large";
    TOptionSection d;
    d.Header = large ? "L" : "S";
    d.Folder = large ? "large" : "Small";
    d.PictureType = "Jpeg";
    d.Quality = large ? 255 : 100;
    d.PictureSizeMode = true;
    d.Rate = large ? 50 : 30;
    d.Vertical = large ? "300" : "100";
    d.Horizonal = d.Vertical;
    d.Consecutive = true;
    return d;
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

} // namespace kelvora

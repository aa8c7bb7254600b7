#include "album/picture_settings.h"

#include "settings/inifile.h"
#include "settings/option_section.h"

namespace kelvora {

const char* SectionName(TPictureKind kind) {
    return kind == TPictureKind::Large ? "Large" : "Small";
}

namespace {

// The option file's section as the run uses it: the pixel sizes as numbers, read
// by the option file's integer rules (text that is no number gives the default).
TPictureSettings fromSection(const TOptionSection& section, const TOptionSection& defaults) {
    const auto size = [](const std::string& text, const std::string& def) {
        return ParseIniInteger(text).value_or(ParseIniInteger(def).value_or(0));
    };
    TPictureSettings s;
    s.Header = section.Header;
    s.Folder = section.Folder;
    s.PictureType = section.PictureType;
    s.Quality = section.Quality;
    s.PictureSizeMode = section.PictureSizeMode;
    s.Rate = section.Rate;
    s.Vertical = size(section.Vertical, defaults.Vertical);
    s.Horizonal = size(section.Horizonal, defaults.Horizonal);
    s.Consecutive = section.Consecutive;
    s.Smooth = section.Smooth;
    s.KeepAspect = section.KeepAspect;
    return s;
}

} // namespace

TPictureSettings DefaultPictureSettings(TPictureKind kind) {
    const TOptionSection defaults = DefaultOptionSection(SectionName(kind));
    return fromSection(defaults, defaults);
}

TPictureSettings ReadPictureSettings(const TIniFile& ini, TPictureKind kind) {
    return fromSection(ReadOptionSection(ini, SectionName(kind)),
                       DefaultOptionSection(SectionName(kind)));
}

} // namespace kelvora

#include "settings/page_section.h"

#include "settings/inifile.h"

#include <algorithm>

namespace kelvora {

TPageSection ReadPageSection(const TIniFile& ini) {
    TPageSection s;
    s.PerPage = std::clamp(ini.ReadInteger(kPageSection, "PerPage", 0), 0, kMaxPerPage);
    s.SkipUnreadable = ini.ReadBool(kPageSection, "SkipUnreadable", false);
    return s;
}

void WritePageSection(TIniFile& ini, const TPageSection& v) {
    ini.WriteInteger(kPageSection, "PerPage", v.PerPage);
    ini.WriteBool(kPageSection, "SkipUnreadable", v.SkipUnreadable);
}

} // namespace kelvora

#pragma once
// The page's options that Option.ini keeps beside the conversion settings, in the
// section "Page": how many pictures a page holds and whether pictures that cannot
// be read are left out. Absent keys mean off, so an option file written before
// these options existed makes the album it always made.
#include <string_view>

namespace kelvora {

class TIniFile;

inline constexpr std::string_view kPageSection = "Page";

struct TPageSection {
    int PerPage = 0;             // pictures per page; 0: every picture on one page
    bool SkipUnreadable = false; // leave out a picture that cannot be loaded

    bool operator==(const TPageSection&) const = default;
};

// The largest PerPage the controls offer; a larger value reads as this.
inline constexpr int kMaxPerPage = 9999;

// Reads PerPage and SkipUnreadable; a negative PerPage reads as 0.
TPageSection ReadPageSection(const TIniFile& ini);
// Writes PerPage, then SkipUnreadable.
void WritePageSection(TIniFile& ini, const TPageSection& values);

} // namespace kelvora

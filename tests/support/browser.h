#pragma once
// The album page opened from disk in headless Chromium.
#include <QString>
#include <string>

namespace kelvora::test {

inline constexpr const char* kChromium = "/usr/bin/chromium";
bool haveChromium();
// Runs headless Chromium on the file and returns the document after load.
QString renderedDom(const std::string& file, const std::string& profile);
// Loads the page with a script that counts its pictures and returns "LOADED n OF m".
QString loadedPictures(const std::string& page, const std::string& profile);

} // namespace kelvora::test

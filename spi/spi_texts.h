#pragma once
// The plug-in host's texts: what a picture's progress events say while plug-ins
// decode it, and its error when none could.
#include "base/base_texts.h"

namespace kelvora::SPITexts {

inline constexpr char SCouldNotDecode[] = "Susie Plugins could not decode";
inline constexpr char SLoadingBySpi[] = "Loading Graphic by Susie Plugin";
inline constexpr char SSeekingPlugins[] = "Seeking enabled Susie Plugins";
inline constexpr char SLoadingBy[] = "Loading by [%1]"; // the plug-in's file name
inline constexpr char SLoadedBySpi[] = "Loaded Graphic by Susie Plugin";
inline constexpr char SLoaded[] = "Loaded Graphic";

using BaseTexts::Text;

} // namespace kelvora::SPITexts

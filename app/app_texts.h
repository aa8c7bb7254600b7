#pragma once
// Texts of the main window, the about box and kelvora-album, as the user reads them.
#include "base/base_texts.h"

namespace kelvora::AppTexts {

inline constexpr char SVersionInfo[] = "バージョン情報";
inline constexpr char SExit[] = "終了";
inline constexpr char SBadColor[] = "色 %1 は不正です";

using BaseTexts::Text;

} // namespace kelvora::AppTexts

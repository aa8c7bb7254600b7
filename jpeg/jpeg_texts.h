#pragma once
// The JPEG unit's texts, as the user reads them.
#include "base/base_texts.h"

namespace kelvora::JpegTexts {

inline constexpr char SJpegError[] = "JPEG エラー #%1"; // libjpeg's message code
inline constexpr char SDataEnds[] = "JPEG データが途中で終わっています";
inline constexpr char STooManyScans[] = "JPEG ファイルのスキャンが多すぎます (上限 %1)";
inline constexpr char SRowsOf8Bits[] = "8 ビット出力は一行ずつ読めません";
inline constexpr char SCannotResize[] = "JPEG イメージのサイズは変更できません";
inline constexpr char SFormatName[] = "JPEG イメージファイル";

using BaseTexts::Text;

} // namespace kelvora::JpegTexts

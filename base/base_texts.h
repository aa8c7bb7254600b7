#pragma once
// Texts of the picture loader, its formats and its lists, as the user reads
// them. The album, the JPEG unit, the plug-in host and the windows raise some of
// them too, so that one failure reads the same wherever it happens.
#include <QString>

namespace kelvora::BaseTexts {

inline constexpr char SOutOfMemory[] = "メモリが足りません";
inline constexpr char SPictureMemory[] = "画像のメモリを確保できません (%1 x %2)"; // width, height
inline constexpr char SInvalidBitmap[] = "ビットマップ画像が不正です";
inline constexpr char SMetafileUnreadable[] = "メタファイルを読み込めません";
inline constexpr char SListIndexError[] = "リストのインデックスが範囲を超えています (%1)";
// A page the desktop's opener could not open (the album, the user guide).
inline constexpr char SCannotOpenHtml[] = "HTMLファイルを開けませんでした";

// Every module's table shows its texts through this one.
inline QString Text(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace kelvora::BaseTexts

#pragma once
// The album's texts, as the user reads them: the run's and the generation
// window's and comment editor's.
#include "base/base_texts.h"

namespace kelvora::AlbumTexts {

inline constexpr char SAborted[] = "中止しました";
inline constexpr char SCannotMakePng[] = "PNG 画像を作成できません";
inline constexpr char SAlbumBusy[] = "このアルバムは作成中です: %1"; // the page
// Above the outputs of an earlier run that could not go to the trash, one a line.
inline constexpr char SNotTrashed[] = "次のファイルはごみ箱に移せなかったので残しました:";

// Captions.
inline constexpr char SChooseColor[] = "・・・";
inline constexpr char SPixels[] = "ピクセル";
inline constexpr char SFileName[] = "ファイル名";
inline constexpr char SComment[] = "コメント";

using BaseTexts::Text;

} // namespace kelvora::AlbumTexts

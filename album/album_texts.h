#pragma once
// The album's texts, as the user reads them: the run's and the generation
// window's and comment editor's.
#include "base/base_texts.h"

namespace kelvora::AlbumTexts {

inline constexpr char SAborted[] = "中止しました";
inline constexpr char SCannotMakePng[] = "PNG 画像を作成できません";
inline constexpr char SCannotSmooth[] =
    "画像を %1 x %2 になめらかに縮小できません"; // width, height

// Captions.
inline constexpr char SChooseColor[] = "・・・";
inline constexpr char SPixels[] = "ピクセル";
inline constexpr char SFileName[] = "ファイル名";
inline constexpr char SComment[] = "コメント";
inline constexpr char SSmooth[] = "なめらかに縮小する";
inline constexpr char SKeepAspect[] = "縦横比を保つ";
inline constexpr char SOptionOn[] = "はい";

using BaseTexts::Text;

} // namespace kelvora::AlbumTexts

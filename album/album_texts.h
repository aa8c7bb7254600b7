#pragma once
// The album's texts, as the user reads them: the run's and the generation
// window's and comment editor's.
#include "base/base_texts.h"

namespace kelvora::AlbumTexts {

inline constexpr char SAborted[] = "中止しました";
inline constexpr char SCannotMakePng[] = "PNG 画像を作成できません";
inline constexpr char SCannotSmooth[] =
    "画像を %1 x %2 になめらかに縮小できません"; // width, height
inline constexpr char SDone[] = "完了しました";
inline constexpr char SSkippedPictures[] = "読めない画像 %1 枚を飛ばしました:";
inline constexpr char SCannotMakeFolder[] = "フォルダ %1 を作成できません (%2)";
// Why a file or folder could not be made, where the system's words would mislead.
inline constexpr char SNoPermission[] = "書き込む権限がありません";
inline constexpr char SReadOnlyFileSystem[] = "読み取り専用のファイルシステムです";
// A further page's name taken by a file this album did not write.
inline constexpr char SForeignPage[] =
    "ページ %1 はこのアルバムが作ったものではありません。上書きせずに中止しました";
// The navigation line between pages.
inline constexpr char SPreviousPage[] = "前へ";
inline constexpr char SNextPage[] = "次へ";
inline constexpr char SAlbumBusy[] = "このアルバムは作成中です: %1"; // the page
// Above the outputs of an earlier run that could not go to the trash, one a line.
inline constexpr char SNotTrashed[] = "次のファイルはごみ箱に移せなかったので残しました:";

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

#pragma once
// The folder browser's texts, as the user reads them.
#include <QString>

namespace kelvora::VelShCst {

inline constexpr char SName[] = "名前";
inline constexpr char SSize[] = "サイズ";
inline constexpr char SFileType[] = "ファイルの種類";
inline constexpr char SModified[] = "更新日時";
inline constexpr char SAttributes[] = "属性";
inline constexpr char SInvalidParameter[] = "パラメータが不正です。";
inline constexpr char STooManyFolders[] = "監視するフォルダ数が上限を超えています。";

// Renaming.
inline constexpr char SCannotRename[] = "この項目の名前は変更できません。";
inline constexpr char SEmptyName[] = "名前を入力してください。";
inline constexpr char SBadName[] =
    "ファイル名に / は使えません。また、. と .. は名前にできません。";
inline constexpr char SNameExists[] = "同じ名前のファイルまたはフォルダーが既にあります。";
inline constexpr char SRenameFailed[] = "名前を変更できません: %1";

// Copying, moving and trashing ("%1" the item's name, "%2" the reason).
inline constexpr char SCopyFailed[] = "「%1」をコピーできません: %2";
inline constexpr char SMoveFailed[] = "「%1」を移動できません: %2";
inline constexpr char SLinkFailed[] = "「%1」へのリンクを作成できません: %2";
inline constexpr char STrashFailed[] = "「%1」をごみ箱に移動できません: %2";
inline constexpr char SSourceNotDeleted[] =
    "「%1」はコピーしましたが、元の場所から削除できません: %2";
inline constexpr char SIntoItself[] =
    "「%1」をそれ自身の中へ移動またはコピーすることはできません。";
inline constexpr char SKindDiffers[] = "「%1」は種類の違う項目と同じ名前のため、上書きできません。";
inline constexpr char SUnsupportedKind[] = "「%1」はコピーできない種類のファイルです。";
inline constexpr char SNameTakenMeanwhile[] = "「%1」と同じ名前の項目が作業中に作られました。";

inline QString Text(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace kelvora::VelShCst

#pragma once
// The folder browser's texts, as the user reads them.
#include "base/base_texts.h"

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

// Why an operation on an item failed.
inline constexpr char SDiskFull[] = "ディスクの空き領域が足りません。";
inline constexpr char SAccessDenied[] = "アクセスが拒否されました。";
inline constexpr char SReadOnlyDrive[] = "読み取り専用のドライブです。";
inline constexpr char SNotFound[] = "見つかりません。";
inline constexpr char SNameTooLong[] = "名前が長すぎます。";
inline constexpr char SIoError[] = "読み書き中にエラーが発生しました。";
inline constexpr char SBusy[] = "使用中です。";
inline constexpr char SCrossDevice[] = "別のドライブへは移動できません。";
inline constexpr char SMoreErrors[] = "ほか %1 件のエラーがあります。";

// The namespace's own items and the kinds of drives.
inline constexpr char SDesktop[] = "デスクトップ";
inline constexpr char SHome[] = "ホーム";
inline constexpr char SComputer[] = "コンピュータ";
inline constexpr char SNetwork[] = "ネットワーク";
inline constexpr char STrash[] = "ごみ箱";
inline constexpr char SSystemFolder[] = "システム フォルダー";
inline constexpr char SFileSystem[] = "ファイルシステム";
inline constexpr char SLocalDisk[] = "ローカル ディスク";
inline constexpr char SRemovableDisk[] = "リムーバブル ディスク";
inline constexpr char SCdDrive[] = "CD ドライブ";
inline constexpr char SNetworkDrive[] = "ネットワーク ドライブ";

// Type names of the file list's type column.
inline constexpr char SFolderTypeName[] = "フォルダー";
inline constexpr char SPlainFileType[] = "ファイル";
inline constexpr char SFileTypeSuffix[] = " ファイル";

// The progress of copying, moving, linking and trashing.
inline constexpr char SCopying[] = "コピーしています...";
inline constexpr char SMoving[] = "移動しています...";
inline constexpr char SLinking[] = "リンクを作成しています...";
inline constexpr char STrashing[] = "ごみ箱に移動しています...";
inline constexpr char SCancelling[] = "キャンセルしています...";
inline constexpr char SCancel[] = "キャンセル";

// The question when a dropped item meets one of the same name ("%1" the name).
inline constexpr char SConfirm[] = "確認";
inline constexpr char SFolderExists[] = "このフォルダーには「%"
                                        "1」という名前のフォルダーが既にあります。\n上書きすると、"
                                        "両方のフォルダーの内容がまとめられます。";
inline constexpr char SItemExists[] = "このフォルダーには「%1」という名前の項目が既にあります。";
inline constexpr char SExistingItem[] = "既にある項目: %1";
inline constexpr char SIncomingItem[] = "新しい項目: %1";
inline constexpr char SFolderModifiedAt[] = "フォルダー、更新日時 %1";
inline constexpr char SItemModifiedAt[] = "%1、更新日時 %2";
inline constexpr char SApplyToAll[] = "以降の重複にも同じ処理をする(&A)";
inline constexpr char SOverwrite[] = "上書き(&O)";
inline constexpr char SSkip[] = "スキップ(&S)";
inline constexpr char SKeepBoth[] = "番号を付けて残す(&R)";

using BaseTexts::Text;

} // namespace kelvora::VelShCst

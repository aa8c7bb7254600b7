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

inline QString Text(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace kelvora::VelShCst

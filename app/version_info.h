#pragma once
// The program's version information (app/version_note.h), queried with the paths of
// Windows' version resources: "\VarFileInfo\Translation" gives the first string table's
// language (low 16 bits) and code page (high 16 bits) as 4 bytes of a 32-bit value;
// "\StringFileInfo\041103A4\ProductVersion" gives a string of that table. Names match
// without regard to ASCII case.
#include "base/errors.h"

#include <QString>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

class EVersionInfoError : public Exception {
public:
    using Exception::Exception;
};

class TVersionInfo {
public:
    // The version information of an executable; empty when it carries none.
    static TVersionInfo FromFile(const std::string& executable);
    // From the note's text ("name=value" lines).
    explicit TVersionInfo(std::string_view text = {});

    // Size of the information in bytes; 0 when there is none.
    std::size_t Size() const { return size_; }
    // The value at a path; nothing when the path names no value.
    std::optional<std::string> QueryValue(std::string_view path) const;

private:
    std::size_t size_ = 0;
    std::map<std::string, std::string> values_; // lower-case name -> value
};

// The standard string keys by index: 0 Comments, 1 CompanyName, 2 FileDescription,
// 3 FileVersion, 4 InternalName, 5 LegalCopyright, 6 LegalTrademarks, 7 OriginalFilename,
// 8 PrivateBuild, 9 ProductName, 10 ProductVersion, 11 SpecialBuild; "" otherwise.
std::string_view VersionKeyName(int index);

// The value of the key with this index in the first string table of the executable's
// version information; empty when the executable has none, or the key is missing or
// empty. Raises EVersionInfoError "情報の取得に失敗しました" when the information lists
// no string table.
QString GetVersionValue(int index, const std::string& executable = "/proc/self/exe");

} // namespace kelvora

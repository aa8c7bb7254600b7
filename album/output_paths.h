#pragma once
// Where the album's pictures go: folders derived from the page's file name.
#include <string>
#include <string_view>

namespace kelvora {

// path + "/" unless its last character (in the system code page) already is "/";
// "" gives "/".
std::string AddTrailingBackslash(std::string_view path);
// The page's folder followed by one "/": "/site/album.html" gives "/site/",
// "/album.html" gives "//" (the root folder, then the separator).
std::string BaseFolderOf(std::string_view htmlFileName);
// BaseFolder, then Folder, each with a trailing "/".
std::string OutputFolderOf(std::string_view baseFolder, std::string_view folder);
// The file name without its folder and without its last extension.
std::string SourceNameOf(std::string_view sourceFile);

} // namespace kelvora

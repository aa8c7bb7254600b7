#include "album/output_paths.h"

#include "base/string_cut.h"

namespace kelvora {

std::string AddTrailingBackslash(std::string_view path) {
    // Walk by characters: a multibyte character's trail byte is never a separator.
    if (MbRight(path, 1) == "/")
        return std::string(path);
    return std::string(path) + "/";
}

std::string BaseFolderOf(std::string_view htmlFileName) {
    const auto last = htmlFileName.find_last_of('/');
    std::string folder;
    if (last != std::string_view::npos) {
        // The last separator goes, unless it is the root or follows another one.
        const bool keep = last == 0 || htmlFileName[last - 1] == '/';
        folder = std::string(htmlFileName.substr(0, keep ? last + 1 : last));
    }
    return folder + "/";
}

std::string OutputFolderOf(std::string_view baseFolder, std::string_view folder) {
    return AddTrailingBackslash(baseFolder) + AddTrailingBackslash(folder);
}

std::string SourceNameOf(std::string_view sourceFile) {
    const auto slash = sourceFile.find_last_of('/');
    std::string_view name =
        slash == std::string_view::npos ? sourceFile : sourceFile.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

} // namespace kelvora

#include "album/album_pages.h"

#include "album/album_texts.h"
#include "album/output_paths.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "shell/items/trash.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <map>
#include <sys/stat.h>

namespace kelvora {
namespace {

// The page's folder (with "/"), its name up to the extension, and the extension
// with its dot ("" when the name has none).
struct PageNameParts {
    std::string folder;
    std::string stem;
    std::string extension;
};

PageNameParts partsOf(const std::string& htmlFileName) {
    const std::size_t slash = htmlFileName.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = htmlFileName.rfind('.');
    const std::size_t stemEnd =
        dot == std::string::npos || dot <= nameStart ? htmlFileName.size() : dot;
    return {htmlFileName.substr(0, nameStart), htmlFileName.substr(nameStart, stemEnd - nameStart),
            htmlFileName.substr(stemEnd)};
}

// The page number (2 or more) that a file name in the page's folder stands for, or 0.
int furtherPageNumber(const PageNameParts& parts, std::string_view name) {
    const std::string prefix = parts.stem + "_";
    if (!name.starts_with(prefix) || !name.ends_with(parts.extension))
        return 0;
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - parts.extension.size());
    if (digits.empty() || digits.front() == '0')
        return 0;
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < 2)
        return 0;
    return number;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

int AlbumPageCount(int pictures, int perPage) {
    if (perPage <= 0 || pictures <= perPage)
        return 1;
    return (pictures + perPage - 1) / perPage;
}

std::string AlbumPageName(const std::string& htmlFileName, int page) {
    if (page <= 0)
        return htmlFileName;
    const PageNameParts p = partsOf(htmlFileName);
    return p.folder + p.stem + "_" + std::to_string(page + 1) + p.extension;
}

std::string AlbumNavigationLine(const std::string& htmlFileName, int page, int pages) {
    const std::string base = BaseFolderOf(htmlFileName);
    const auto link = [&](int target, const std::string& text) {
        return "<a href=\"" + PageRelativeUrl(base, AlbumPageName(htmlFileName, target)) + "\">" +
               text + "</a>";
    };
    // The page is in the system's code page, as its title and comments are.
    const std::string previous = fromQ(AlbumTexts::Text(AlbumTexts::SPreviousPage));
    const std::string next = fromQ(AlbumTexts::Text(AlbumTexts::SNextPage));
    // Appended piece by piece: GCC 12 at -O3 warns about "text" + a temporary string.
    std::string line = "<P>";
    line += page > 0 ? link(page - 1, previous) : previous;
    for (int i = 0; i < pages; ++i) {
        const std::string number = std::to_string(i + 1);
        line += ' ';
        line += i == page ? "<B>" + number + "</B>" : link(i, number);
    }
    line += ' ';
    line += page + 1 < pages ? link(page + 1, next) : next;
    line += "</P>";
    return line;
}

void CheckFurtherPageNames(const std::string& htmlFileName, int pages,
                           const TEarlierPageCheck& writtenByEarlierRun) {
    for (int page = 1; page < pages; ++page) {
        const std::string name = AlbumPageName(htmlFileName, page);
        if (exists(name) && !(writtenByEarlierRun && writtenByEarlierRun(name)))
            throw EFCreateError(AlbumTexts::Text(AlbumTexts::SForeignPage).arg(toDisplayQ(name)));
    }
}

std::vector<std::unique_ptr<TStagedFile>>
WriteAlbumPages(const std::string& htmlFileName, const TStringList& sourceFiles,
                const TStringList& largeNames, const TStringList& smallNames,
                const TAlbumPageOptions& options, const TCommentLookup& commentOf, int perPage) {
    std::vector<std::unique_ptr<TStagedFile>> files;
    const int pages = AlbumPageCount(largeNames.count(), perPage);
    if (pages == 1) {
        files.push_back(
            WriteAlbumPage(htmlFileName, sourceFiles, largeNames, smallNames, options, commentOf));
        return files;
    }
    for (int page = 0; page < pages; ++page) {
        const TPagePart part{page * perPage, perPage,
                             AlbumNavigationLine(htmlFileName, page, pages)};
        const TStringList lines = BuildAlbumPageOf(htmlFileName, sourceFiles, largeNames,
                                                   smallNames, options, commentOf, part);
        auto file = std::make_unique<TStagedFile>(AlbumPageName(htmlFileName, page));
        file->write(lines.text());
        file->flushToDisk();
        files.push_back(std::move(file));
    }
    return files;
}

std::vector<std::string> StaleAlbumPages(const std::string& htmlFileName, int pages,
                                         const TEarlierPageCheck& writtenByEarlierRun) {
    std::vector<std::string> stale;
    if (!writtenByEarlierRun)
        return stale;
    const PageNameParts parts = partsOf(htmlFileName);
    DIR* dir = ::opendir(parts.folder.empty() ? "." : parts.folder.c_str());
    if (!dir)
        return stale;
    std::map<int, std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const int number = furtherPageNumber(parts, entry->d_name);
        if (number > pages)
            found.emplace(number, parts.folder + entry->d_name);
    }
    ::closedir(dir);
    for (auto& [number, path] : found)
        if (writtenByEarlierRun(path))
            stale.push_back(std::move(path));
    return stale;
}

std::vector<std::string> RemoveStaleAlbumPages(const std::string& htmlFileName, int pages,
                                               const TEarlierPageCheck& writtenByEarlierRun) {
    std::vector<std::string> kept;
    for (const std::string& page : StaleAlbumPages(htmlFileName, pages, writtenByEarlierRun))
        if (!MoveToTrash(page))
            kept.push_back(page);
    return kept;
}

} // namespace kelvora

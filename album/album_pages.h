#pragma once
// An album split into pages: "album.html" holds the first pictures, "album_2.html",
// "album_3.html", ... the next ones, up to a fixed number each, every page with the
// same table and options and a navigation line ("前へ", the page numbers, "次へ")
// above and below the table. With one page the album is the single page it always
// was, without a navigation line.
//
// The names of the further pages are taken only from the pages this album wrote
// before (as its record says): a file of such a name that the album did not write
// stops the run before anything is written, and pages a shorter album no longer
// needs go to the trash once the new album is in place.
#include "album/page_writer.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

// Whether the page at this full path was written by an earlier run of this album.
using TEarlierPageCheck = std::function<bool(const std::string& pagePath)>;

// Pages for `pictures` pictures, `perPage` each (0: one page); at least one.
int AlbumPageCount(int pictures, int perPage);
// The full name of page `page` (from 0): the page itself, then "<name>_2.<ext>", ...
std::string AlbumPageName(const std::string& htmlFileName, int page);
// The line of links between the pages, as page `page` of `pages` shows it.
std::string AlbumNavigationLine(const std::string& htmlFileName, int page, int pages);

// Raises EFCreateError naming the first further page whose name is taken by a file
// that no earlier run of this album wrote.
void CheckFurtherPageNames(const std::string& htmlFileName, int pages,
                           const TEarlierPageCheck& writtenByEarlierRun);

// Every page built in full and staged, the first page first (see WriteAlbumPage).
// perPage 0 gives the one page WriteAlbumPage writes.
[[nodiscard]] std::vector<std::unique_ptr<TStagedFile>>
WriteAlbumPages(const std::string& htmlFileName, const TStringList& sourceFiles,
                const TStringList& largeNames, const TStringList& smallNames,
                const TAlbumPageOptions& options, const TCommentLookup& commentOf, int perPage);

// The pages beyond the first `pages` that an earlier run of this album wrote and
// that are still there, in page order.
std::vector<std::string> StaleAlbumPages(const std::string& htmlFileName, int pages,
                                         const TEarlierPageCheck& writtenByEarlierRun);
// Moves the stale pages to the trash; returns those that could not be moved (they
// stay where they are).
std::vector<std::string> RemoveStaleAlbumPages(const std::string& htmlFileName, int pages,
                                               const TEarlierPageCheck& writtenByEarlierRun);

} // namespace kelvora

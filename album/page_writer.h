#pragma once
// The album page: a table of the small pictures, each linking to its large
// picture, in a chosen number of columns, with optional frames and comments.
#include "album/staged_file.h"
#include "base/color.h"
#include "base/stringlist.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kelvora {

// Six upper-case hexadecimal digits, red, green, blue: white is "FFFFFF".
std::string ColorToHtml(TColor color);

struct TAlbumPageOptions {
    std::string title; // in the system code page; markup allowed
    TColor backColor = clWhite;
    int columns = 3;
    bool frame = false;
    int frameWidth = 5;
    TColor frameColor = clWhite;
    bool comments = false;
    bool commentsAbove = false; // false: below the picture
};

// The comment of a picture by its source path (its bytes), or nothing when the comment
// list has none for it. Looked up by path, a comment stays with its picture whatever
// the picture's place on the page.
using TCommentLookup = std::function<std::optional<std::string>(const std::string& sourceFile)>;

// The address of a written picture as the page links it: relative to the
// page's folder, with every byte that is not safe in a URL percent-encoded.
std::string PageRelativeUrl(const std::string& baseFolder, const std::string& fileName);

// The page's lines. Entry i of sourceFiles, largeNames and smallNames belong to the
// same picture. Raises EListError when the small names are fewer than the large ones
// (one entry per picture is expected in both); a picture without a source entry has
// no comment.
TStringList BuildAlbumPage(const std::string& htmlFileName, const TStringList& sourceFiles,
                           const TStringList& largeNames, const TStringList& smallNames,
                           const TAlbumPageOptions& options, const TCommentLookup& commentOf);

// One page of an album that is split into pages: the pictures [first, first + count)
// of the lists, and the navigation line (none when empty) above and below the table.
struct TPagePart {
    int first = 0;
    int count = 0;
    std::string navigation;
};
TStringList BuildAlbumPageOf(const std::string& htmlFileName, const TStringList& sourceFiles,
                             const TStringList& largeNames, const TStringList& smallNames,
                             const TAlbumPageOptions& options, const TCommentLookup& commentOf,
                             const TPagePart& part);

// Builds the page in full, then writes it under a temporary name beside
// htmlFileName and puts it on the disk. commit() replaces the page (a run does so
// once its pictures are in place); dropped without commit(), the file leaves the
// page that was there as it was. Raises BuildAlbumPage's errors and the staged
// file's ("ファイル %s を作成できません" with the system's reason).
[[nodiscard]] std::unique_ptr<TStagedFile>
WriteAlbumPage(const std::string& htmlFileName, const TStringList& sourceFiles,
               const TStringList& largeNames, const TStringList& smallNames,
               const TAlbumPageOptions& options, const TCommentLookup& commentOf);

} // namespace kelvora

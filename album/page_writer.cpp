#include "album/page_writer.h"

#include "album/output_paths.h"
#include "base/base_texts.h"
#include "base/codepage.h"
#include "base/errors.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kelvora {

std::string ColorToHtml(TColor color) {
    char text[7];
    std::snprintf(text, sizeof text, "%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}

std::string PageRelativeUrl(const std::string& baseFolder, const std::string& fileName) {
    std::string relative;
    if (fileName.compare(0, baseFolder.size(), baseFolder) == 0) {
        relative = fileName.substr(baseFolder.size());
        // "a//b" is "a/b": an empty Folder must not make the address absolute.
        relative.erase(0, relative.find_first_not_of('/'));
    } else {
        relative = std::filesystem::path(fileName)
                       .lexically_relative(std::filesystem::path(baseFolder))
                       .generic_string();
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string url;
    url.reserve(relative.size());
    for (unsigned char c : relative) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                          c == '/';
        if (safe) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

TStringList BuildAlbumPage(const std::string& htmlFileName, const TStringList& sourceFiles,
                           const TStringList& largeNames, const TStringList& smallNames,
                           const TAlbumPageOptions& options, const TCommentLookup& commentOf) {
    return BuildAlbumPageOf(htmlFileName, sourceFiles, largeNames, smallNames, options, commentOf,
                            {0, largeNames.count(), {}});
}

TStringList BuildAlbumPageOf(const std::string& htmlFileName, const TStringList& sourceFiles,
                             const TStringList& largeNames, const TStringList& smallNames,
                             const TAlbumPageOptions& options, const TCommentLookup& commentOf,
                             const TPagePart& part) {
    const int n = largeNames.count();
    if (smallNames.count() < n)
        throw EListError(BaseTexts::Text(BaseTexts::SListIndexError).arg(smallNames.count()));
    const int first = std::clamp(part.first, 0, n);
    const int count = std::clamp(part.count, 0, n - first);
    const int c = options.columns < 1 ? 1 : options.columns;
    const std::string base = BaseFolderOf(htmlFileName);
    const auto comment = [&](int i) -> std::optional<std::string> {
        if (!commentOf || i >= sourceFiles.count())
            return std::nullopt;
        return commentOf(sourceFiles[i]);
    };

    TStringList page;
    page.add("<HTML>");
    page.add(std::string("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=") +
             CodePage::system().ianaName() + "\"><title>" + options.title + "</title></head>");
    page.add("<BODY BGCOLOR=\"#" + ColorToHtml(options.backColor) + "\">");
    if (!part.navigation.empty())
        page.add(part.navigation);
    page.add("<TABLE border=\"1\" cellpadding=\"2\" cellspacing=\"0\">");
    for (int i = first; i < first + count; ++i) {
        // Rows count from the page's first picture.
        const int cell = i - first;
        if (cell % c == 0)
            page.add("<TR>");
        page.add("<TD>");
        if (options.comments && options.commentsAbove)
            if (auto text = comment(i))
                page.add(*text + "<BR>");
        if (options.frame)
            page.add("<TABLE border=\"" + std::to_string(options.frameWidth) +
                     "\" cellspacing=\"0\" cellpadding=\"0\" bordercolor=\"#" +
                     ColorToHtml(options.frameColor) + "\"><TR><TD>");
        page.add("<a href=\"" + PageRelativeUrl(base, largeNames[i]) + "\">");
        page.add("<img src=\"" + PageRelativeUrl(base, smallNames[i]) + "\" border=\"0\"></a>");
        if (options.frame)
            page.add("</TD></TR></TABLE>");
        if (options.comments && !options.commentsAbove)
            if (auto text = comment(i))
                page.add("<BR>" + *text);
        page.add("</TD>");
        if (cell % c == c - 1)
            page.add("</TR>");
    }
    if (count % c != 0)
        page.add("</TR>");
    page.add("</TABLE>");
    if (!part.navigation.empty())
        page.add(part.navigation);
    page.add("</BODY>");
    page.add("</HTML>");
    return page;
}

std::unique_ptr<TStagedFile>
WriteAlbumPage(const std::string& htmlFileName, const TStringList& sourceFiles,
               const TStringList& largeNames, const TStringList& smallNames,
               const TAlbumPageOptions& options, const TCommentLookup& commentOf) {
    const TStringList page =
        BuildAlbumPage(htmlFileName, sourceFiles, largeNames, smallNames, options, commentOf);
    auto file = std::make_unique<TStagedFile>(htmlFileName);
    file->write(page.text());
    file->flushToDisk();
    return file;
}

} // namespace kelvora

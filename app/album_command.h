#pragma once
// kelvora-album: the album made from a terminal, with the run the generation
// window uses.
#include "album/album_messages.h"
#include "album/album_run.h"
#include "album/page_writer.h"
#include "base/stringlist.h"

#include "base/errors.h"

#include <QStringList>
#include <atomic>
#include <map>
#include <optional>
#include <string>

namespace kelvora {

struct TAlbumCommand {
    std::string htmlFileName; // absolute, ending in .html or .htm
    TStringList sourceFiles;  // absolute, in page order
    std::string optionFile;   // Option.ini beside the program unless --options
    TAlbumPageOptions page;
    std::map<std::string, std::string> comments; // absolute picture path -> comment
    int jobs = 1;                                // worker threads
    bool smooth = false; // --smooth: Smooth in both sections, whatever Option.ini says
    bool fit = false;    // --fit: KeepAspect in both sections
    std::optional<int> perPage;                  // --per-page; none: Option.ini's
    bool skipUnreadable = false;                 // --skip-unreadable; else Option.ini's
    bool rebuild = false;                        // --rebuild: convert every picture again
};

struct TAlbumCommandParse {
    std::optional<TAlbumCommand> command; // nothing: exit with `exitCode` after printing `output`
    int exitCode = 0;
    QString output;
};

// Parses the arguments (without the program name). Reads the comment file. Arguments
// carry their bytes as toLosslessQ gives them (plain text is such an argument too), so
// that file names the code page cannot decode name their files.
TAlbumCommandParse ParseAlbumCommand(const QStringList& arguments);

// Makes the album; progress goes to `progressFd` when it is a terminal. Raises the
// run's errors (EAbort when `stop` is set meanwhile); returns what the run has to
// tell (pictures left out, files that could not go to the trash).
TAlbumRunResult RunAlbumCommand(const TAlbumCommand& command, int progressFd,
                                const std::atomic<bool>* stop = nullptr);

// "#RRGGBB", "RRGGBB" or a colour name ("red"); nothing when it is none of these.
std::optional<TColor> ParseColor(const QString& text);

} // namespace kelvora

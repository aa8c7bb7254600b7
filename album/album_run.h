#pragma once
// One run of the album: every picture converted into a large and a small
// picture, then the page. The generation window and the batch command both
// drive this class; they differ only in their hooks.
#include "album/page_writer.h"
#include "album/picture_settings.h"
#include "base/stringlist.h"

#include <QImage>
#include <functional>
#include <string>

namespace kelvora {

struct TAlbumJob {
    std::string htmlFileName; // full path of the page
    TStringList sourceFiles;  // full paths of the pictures, in page order
    TPictureSettings large;   // OutputFolder already derived
    TPictureSettings small;
};

struct TAlbumRunHooks {
    // The progress range is 0..maximum; called at the start, after each
    // conversion, and with 0 once every picture is done.
    std::function<void(int position, int maximum)> progress;
    // Lets the caller's window breathe between steps (four times per picture).
    std::function<void()> pump;
    // The decoded picture being converted (the window's hidden work image).
    std::function<void(const QImage&)> pictureLoaded;
    // Read when the page is written, so that changes made during the run count.
    std::function<TAlbumPageOptions()> pageOptions;
    TCommentLookup comments;
};

// Option.ini's two sections, with the output folders derived from the page's name.
void ReadAlbumSettings(const std::string& optionFile, const std::string& htmlFileName,
                       TPictureSettings& large, TPictureSettings& small);

// A job with the settings as ReadAlbumSettings gives them.
TAlbumJob MakeAlbumJob(const std::string& htmlFileName, const TStringList& sourceFiles,
                       const std::string& optionFile);

// Runs the job; any error ends it at that point and propagates. The pictures
// written so far stay; the page is written only after the last picture.
void RunAlbum(const TAlbumJob& job, const TAlbumRunHooks& hooks);

} // namespace kelvora

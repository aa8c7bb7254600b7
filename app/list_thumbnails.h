#pragma once
// What makes the thumbnails of the main window's file list. One place, so that
// the window itself does not depend on where thumbnails come from.
#include "shell/ui/thumbnail_loader.h"

namespace kelvora {
class TSPIs;

// Thumbnails from the shared freedesktop cache, made and stored there when
// missing; plugins (may be null) adds the plug-ins' formats. Called on the file
// list's worker threads, several at once.
TThumbnailProducer MainWindowThumbnails(TSPIs* plugins);

} // namespace kelvora

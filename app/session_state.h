#pragma once
// What the program keeps between sessions: the main window's folder, view style,
// size and splitters, and the generation window's page options. They live in
// "kelvora-state.ini" in the program's settings folder (beside Option.ini, never in
// it), written whole under a temporary name and renamed over the old file.
//
// Reading never fails and never waits: a missing, unreadable or oversized file, or one
// that is no regular file (a FIFO, a device), gives the start state; a value that is
// missing or out of its range leaves that value at its start. Texts (the folder, the
// title) are kept as the file system's and the code page's bytes, with "\" escapes for
// backslash, CR and LF so that any name fits on its line.
#include "album/page_writer.h"

#include <QList>
#include <QSize>
#include <optional>
#include <string>

namespace kelvora {

struct TMainWindowState {
    std::string folder;      // the folder shown; empty: the start folder
    int viewStyle = -1;      // a TViewStyle; -1: the start style
    QSize size;              // invalid: the design size
    QList<int> browserSplit; // Splitter1: tree | list; empty: the design's
    QList<int> paneSplit;    // Splitter2: browser / collection pane
    QList<int> previewSplit; // Splitter3: list box | preview
};

struct TSessionState {
    TMainWindowState main;
    std::optional<TAlbumPageOptions> page; // none: the generation window's start options
};

// "kelvora-state.ini" in SettingsFolder().
std::string SessionStateFilePath();

TSessionState LoadSessionState(const std::string& fileName);
// Raises EFCreateError "ファイル %s を作成できません" with the system's reason when the
// file cannot be written; the old file then stays as it was.
void SaveSessionState(const std::string& fileName, const TSessionState& state);

// The file's text and back, for the tests of hostile content.
std::string FormatSessionState(const TSessionState& state);
TSessionState ParseSessionState(std::string_view text);

} // namespace kelvora

#pragma once
// TShTypeAhead: the file list's type-ahead search. Keys typed in quick
// succession (the platform's keyboard interval) add up to one text; the search
// finds the next row whose name begins with it, from the row after the focused
// one for a new text, from the focused row itself while the text grows, and
// wraps to the top. GUI thread only.
#include <QElapsedTimer>
#include <QString>

namespace kelvora {

class TVelShFileList;

class TShTypeAhead {
public:
    // The row to focus after typing text, -1 when none matches. An empty text
    // (or no list) ends the search.
    int Type(const TVelShFileList* list, const QString& text, int focused);

private:
    QString search_;
    QElapsedTimer timer_;
};

} // namespace kelvora

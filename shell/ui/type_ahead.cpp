#include "shell/ui/type_ahead.h"

#include "shell/items/file_list.h"

#include <QApplication>

namespace kelvora {

int TShTypeAhead::Type(const TVelShFileList* list, const QString& text, int focused) {
    if (text.isEmpty() || !list) {
        search_.clear();
        return -1;
    }
    if (!timer_.isValid() || timer_.elapsed() > QApplication::keyboardInputInterval())
        search_.clear();
    timer_.restart();
    search_ += text;
    const int current = focused >= 0 ? focused : 0;
    // A new search starts after the focused row; a longer one may stay on it.
    const int start = search_.size() == text.size() ? current + 1 : current;
    return list->FindCaption(search_, start >= list->Count() ? 0 : start, true);
}

} // namespace kelvora

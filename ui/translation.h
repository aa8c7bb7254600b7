#pragma once
class QCoreApplication;
namespace kelvora {
// Makes Qt's own texts Japanese whatever the user's locale: the buttons of message
// boxes, the file and colour dialogs, the context menus of text boxes. Loads Qt's
// Japanese translation (Debian: qt6-translations-l10n) and makes Japanese the default
// locale for dates and numbers. False when the translation is not installed; the
// program then runs with Qt's English texts.
bool installJapaneseTranslation(QCoreApplication& app);
} // namespace kelvora

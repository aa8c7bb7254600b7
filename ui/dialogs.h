#pragma once
// The questions and messages windows put to the user. Windows take a TDialogs so
// that tests can answer in the user's place.
#include "base/base_texts.h"
#include "base/errors.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <new>
#include <optional>

class QWidget;

namespace kelvora {

enum class TMessageIcon { Information, Question };

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // A question with the buttons "はい(&Y)" (the default) and "いいえ(&N)" (which
    // Escape also gives); true when the user answers Yes.
    virtual bool askYesNo(QWidget* parent, const QString& caption, const QString& text,
                          TMessageIcon icon) = 0;
    // A message with one OK button (caption: the application's title).
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // An error that ended a command.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // The colour dialog; nothing when the user cancels.
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // File dialogs; empty when the user cancels. filter as "Name(*.ext)|*.ext".
    virtual QStringList openFileNames(QWidget* parent, const QString& filter) = 0;
    // Asks before it replaces a file. defaultExt ("html" or "*.html") completes a name
    // typed without extension; fileName (folder and name) is what the dialog offers.
    virtual QString saveFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                                 const QString& fileName) = 0;
};

// A save dialog as a window keeps one: it offers the name it returned last.
struct TSaveDialog {
    QString Filter;
    QString DefaultExt;
    QString FileName;
    // True when the user chose a name, which FileName then holds (full path).
    bool Execute(TDialogs& dialogs, QWidget* parent);
};

// Qt's own dialogs, never the desktop's, so that they follow the program's Japanese
// translation whatever the user's locale.
class TQtDialogs : public TDialogs {
public:
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text,
                  TMessageIcon icon) override;
    void showMessage(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    QStringList openFileNames(QWidget* parent, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                         const QString& fileName) override;
};

TDialogs& DefaultDialogs();

// Runs a command handler; an error it raises is shown, and the program goes on.
template <class F> void RunHandler(TDialogs& dialogs, QWidget* window, F&& handler) {
    try {
        handler();
    } catch (const Exception& e) {
        dialogs.showError(window, e.message());
    } catch (const std::bad_alloc&) {
        dialogs.showError(window, BaseTexts::Text(BaseTexts::SOutOfMemory));
    } catch (const std::exception& e) {
        dialogs.showError(window, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace kelvora

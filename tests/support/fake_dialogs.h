#pragma once
// Answers the program's dialogs in the user's place and remembers what was asked.
#include "base/shell_opener.h"
#include "ui/dialogs.h"

#include <QStringList>
#include <deque>
#include <string>
#include <vector>

namespace kelvora::test {

class FakeDialogs : public TDialogs {
public:
    QStringList messages;
    QStringList errors;
    std::vector<QColor> colorDialogInitials;
    std::deque<std::optional<QColor>> colorAnswers;
    QStringList openAnswer;
    QString saveAnswer;
    // Questions asked, as "caption|text", and the answers to give (No when none is left).
    QStringList questions;
    std::deque<bool> yesNoAnswers;

    bool askYesNo(QWidget*, const QString& caption, const QString& text, TMessageIcon) override {
        questions << caption + QLatin1Char('|') + text;
        if (yesNoAnswers.empty())
            return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }

    void showMessage(QWidget*, const QString& text) override { messages << text; }
    void showError(QWidget*, const QString& text) override { errors << text; }
    std::optional<QColor> chooseColor(QWidget*, const QColor& initial) override {
        colorDialogInitials.push_back(initial);
        if (colorAnswers.empty())
            return std::nullopt;
        auto answer = colorAnswers.front();
        colorAnswers.pop_front();
        return answer;
    }
    QStringList openFileNames(QWidget*, const QString&) override { return openAnswer; }
    // What each save dialog offered: "filter|default extension|file name".
    QStringList saveOffers;
    QString saveFileName(QWidget*, const QString& filter, const QString& defaultExt,
                         const QString& fileName) override {
        saveOffers << filter + QLatin1Char('|') + defaultExt + QLatin1Char('|') + fileName;
        return saveAnswer;
    }
};

class FakeOpener : public TShellOpener {
public:
    std::vector<std::string> opened;
    bool open(const std::string& target) override {
        opened.push_back(target);
        return true;
    }
};

} // namespace kelvora::test

#include "ui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace kelvora {

bool TQtDialogs::askYesNo(QWidget* parent, const QString& caption, const QString& text,
                          TMessageIcon icon) {
    QMessageBox box(icon == TMessageIcon::Information ? QMessageBox::Information
                                                      : QMessageBox::Question,
                    caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void TQtDialogs::showMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QApplication::applicationDisplayName(), text);
}

void TQtDialogs::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

std::optional<QColor> TQtDialogs::chooseColor(QWidget* parent, const QColor& initial) {
    const QColor c =
        QColorDialog::getColor(initial, parent, QString(), QColorDialog::DontUseNativeDialog);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

namespace {
// "Description|*.ext|Other|*.x" to Qt's "Description (*.ext);;Other (*.x)".
QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses of the description.
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (%1)").arg(patterns);
        out << description;
    }
    return out.join(QStringLiteral(";;"));
}
} // namespace

QStringList TQtDialogs::openFileNames(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), qtFilter(filter), nullptr,
                                         QFileDialog::DontUseNativeDialog);
}

QString TQtDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                                 const QString& fileName) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qtFilter(filter));
    QString suffix = defaultExt;
    if (suffix.startsWith(QLatin1Char('*')))
        suffix.remove(0, 1);
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

bool TSaveDialog::Execute(TDialogs& dialogs, QWidget* parent) {
    const QString chosen = dialogs.saveFileName(parent, Filter, DefaultExt, FileName);
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}

TDialogs& DefaultDialogs() {
    static TQtDialogs dialogs;
    return dialogs;
}

} // namespace kelvora

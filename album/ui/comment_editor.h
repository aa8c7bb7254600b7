#pragma once
// The comment editor: one row per picture of the album, holding its comment.
// The list control itself is the store the page writer reads comments from.
#include "base/stringlist.h"

#include <QWidget>
#include <optional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kelvora {

class TImage;

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // Shows the editor with a row for every picture: rows that exist keep their
    // comments, new ones start empty. The memo waits for a row to be clicked.
    void OpenWith(const TStringList& sourceFiles);
    // Empties the comment list (a new album was handed over).
    void ClearComments();
    // The comment of row i, or nothing when the list has no such row.
    std::optional<std::string> CommentOf(int index) const;
    // The picture's path of a row, as bytes (the caption shows it readably).
    static QByteArray PathOf(const QTreeWidgetItem* item);
    static constexpr int kPathRole = Qt::UserRole;

    // Controls
    QTreeWidget* ListView1;
    QLabel* lblFileName;
    QPlainTextEdit* txtComment;
    TImage* imgPreview;
    QPushButton* Button1;

    // Handlers
    void ListView1Click();
    void txtCommentKeyUp();
    void Button1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void storeComment();

    QTreeWidgetItem* CurrentItem = nullptr;
    bool fillingMemo_ = false;
};

} // namespace kelvora

#pragma once
// The comment editor: one row per picture of the album, holding its comment.
// The list control itself is the store the page writer reads comments from, by the
// picture's path (its bytes), so that a comment stays with its picture whatever its
// place in the album. A new album keeps the comments of the pictures it still holds.
#include "base/stringlist.h"

#include <QWidget>
#include <map>
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
    // Empties the comment list.
    void ClearComments();
    // Rebuilds the rows for a new album: the rows of its pictures, in its order, keep
    // their comments; the rows of pictures no longer listed go. (Rows for its other
    // pictures come when the editor is opened.)
    void KeepCommentsOf(const TStringList& sourceFiles);
    // The comment of row i, or nothing when the list has no such row.
    std::optional<std::string> CommentOf(int index) const;
    // The comment of a picture, or nothing when the list has no row for it.
    std::optional<std::string> CommentOf(const std::string& path) const;
    // Every row's comment by its picture's path.
    std::map<std::string, std::string> Comments() const;
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
    // Puts the rows in the order of sourceFiles, dropping the others; addMissing adds
    // an empty row for each picture without one.
    void rebuild(const TStringList& sourceFiles, bool addMissing);

    QTreeWidgetItem* CurrentItem = nullptr;
    bool fillingMemo_ = false;
};

} // namespace kelvora

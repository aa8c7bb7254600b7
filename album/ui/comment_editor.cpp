#include "album/ui/comment_editor.h"

#include "album/album_texts.h"
#include "base/codepage.h"
#include "base/file_io.h"
#include "ui/image.h"
#include "ui/window_placement.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>
#include <set>

namespace kelvora {

TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Kelvora コメントエディタ"));
    resize(738, 500);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels(
        {AlbumTexts::Text(AlbumTexts::SFileName), AlbumTexts::Text(AlbumTexts::SComment)});
    ListView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setCursor(Qt::PointingHandCursor);
    // Styling the items' grid lines takes over their painting, the selection included:
    // without its own rule a selected row is white text on white.
    ListView1->setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); "
                       "border-bottom: 1px solid palette(mid); }"
                       "QTreeView::item:selected { background: palette(highlight); "
                       "color: palette(highlighted-text); }"));

    lblFileName = new QLabel(this);
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    txtComment = new QPlainTextEdit(this);
    txtComment->setObjectName(QStringLiteral("txtComment"));
    txtComment->setFixedSize(353, 97);
    txtComment->setEnabled(false);
    txtComment->installEventFilter(this);
    imgPreview = new TImage(this);
    imgPreview->setObjectName(QStringLiteral("imgPreview"));
    imgPreview->setFixedSize(185, 97);
    Button1 = new QPushButton(QStringLiteral("閉じる"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* panel = new QWidget(this);
    panel->setFixedHeight(225);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(AlbumTexts::Text(AlbumTexts::SFileName), panel));
    nameRow->addWidget(lblFileName, 1);
    auto* commentRow = new QHBoxLayout;
    auto* commentColumn = new QVBoxLayout;
    commentColumn->addWidget(new QLabel(AlbumTexts::Text(AlbumTexts::SComment), panel));
    commentColumn->addWidget(txtComment);
    commentRow->addLayout(commentColumn);
    commentRow->addWidget(imgPreview, 0, Qt::AlignBottom);
    commentRow->addStretch(1);
    commentRow->addWidget(Button1, 0, Qt::AlignBottom);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(nameRow);
    panelLayout->addLayout(commentRow);
    panelLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView1, 1);
    layout->addWidget(panel);

    // The design size is the smallest at which every control keeps its room.
    setMinimumSize(size());
    CenterOnScreen(*this);

    connect(ListView1, &QTreeWidget::itemClicked, this, [this] { ListView1Click(); });
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    // Text that arrives without a key (pasted with the mouse, dropped) is kept too.
    connect(txtComment, &QPlainTextEdit::textChanged, this, [this] {
        if (!fillingMemo_)
            storeComment();
    });
}

void TForm4::OpenWith(const TStringList& sourceFiles) {
    show();
    raise();
    rebuild(sourceFiles, true);
    lblFileName->clear();
    imgPreview->clear();
    fillingMemo_ = true;
    txtComment->clear();
    fillingMemo_ = false;
    txtComment->setEnabled(false);
}

void TForm4::ClearComments() {
    ListView1->clear();
    CurrentItem = nullptr;
}

void TForm4::KeepCommentsOf(const TStringList& sourceFiles) {
    rebuild(sourceFiles, false);
}

void TForm4::rebuild(const TStringList& sourceFiles, bool addMissing) {
    // Rows are found by the path's bytes: two names that differ only in bytes the
    // code page cannot show are two pictures, with a comment each.
    std::map<QByteArray, QTreeWidgetItem*> rows;
    while (ListView1->topLevelItemCount() > 0) {
        QTreeWidgetItem* item = ListView1->takeTopLevelItem(0);
        if (!rows.emplace(PathOf(item), item).second)
            delete item;
    }
    std::set<QByteArray> added;
    for (const std::string& path : sourceFiles) {
        const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
        if (!added.insert(bytes).second)
            continue;
        QTreeWidgetItem* item = nullptr;
        if (const auto it = rows.find(bytes); it != rows.end()) {
            item = it->second;
            rows.erase(it);
        } else if (addMissing) {
            item = new QTreeWidgetItem({toDisplayQ(path), QString()});
            item->setData(0, kPathRole, bytes);
        }
        if (item)
            ListView1->addTopLevelItem(item);
    }
    for (auto& [path, item] : rows) {
        if (item == CurrentItem) {
            // The picture being edited left the album: the memo has nothing to edit.
            CurrentItem = nullptr;
            lblFileName->clear();
            fillingMemo_ = true;
            txtComment->clear();
            fillingMemo_ = false;
            txtComment->setEnabled(false);
        }
        delete item;
    }
}

std::optional<std::string> TForm4::CommentOf(int index) const {
    const QTreeWidgetItem* item = ListView1->topLevelItem(index);
    if (!item)
        return std::nullopt;
    return fromQ(item->text(1));
}

std::map<std::string, std::string> TForm4::Comments() const {
    std::map<std::string, std::string> comments;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListView1->topLevelItem(i);
        comments.emplace(PathOf(item).toStdString(), fromQ(item->text(1)));
    }
    return comments;
}

std::optional<std::string> TForm4::CommentOf(const std::string& path) const {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (const QTreeWidgetItem* item = ListView1->topLevelItem(i); PathOf(item) == bytes)
            return fromQ(item->text(1));
    return std::nullopt;
}

QByteArray TForm4::PathOf(const QTreeWidgetItem* item) {
    return item->data(0, kPathRole).toByteArray();
}

void TForm4::ListView1Click() {
    QTreeWidgetItem* item = ListView1->currentItem();
    if (!item || !item->isSelected())
        return; // a click on empty space selects nothing to edit
    lblFileName->setText(item->text(0));
    fillingMemo_ = true;
    txtComment->setPlainText(item->text(1));
    fillingMemo_ = false;
    try {
        const std::string path = PathOf(item).toStdString();
        refuseSpecialFile(path); // a FIFO named like a picture must not hold the window
        imgPreview->loadFromFile(path);
    } catch (const std::exception&) {
        // A picture the preview cannot show is not worth a message.
        lblFileName->clear();
    }
    // The memo shows this row's comment, so this row is the one it edits, whether
    // or not its preview loaded.
    CurrentItem = item;
    txtComment->setEnabled(true);
}

void TForm4::txtCommentKeyUp() {
    storeComment();
}

void TForm4::storeComment() {
    if (!CurrentItem)
        return;
    QString text = txtComment->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    CurrentItem->setText(1, text);
}

void TForm4::Button1Click() {
    hide();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtComment && event->type() == QEvent::KeyRelease)
        txtCommentKeyUp();
    return QWidget::eventFilter(watched, event);
}

} // namespace kelvora

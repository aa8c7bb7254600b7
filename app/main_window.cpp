#include "app/main_window.h"

#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "base/codepage.h"
#include "base/picture.h"
#include "spi/spis.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/dialogs.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace kelvora {
namespace {

// "画像ファイル|*.bmp;*.jpg;..." from the formats the picture loader knows.
QString pictureFilter() {
    QStringList patterns;
    for (const TFileFormat& f : TPicture::fileFormats()) {
        const QString p = QStringLiteral("*.") + toQ(f.extension);
        if (!patterns.contains(p))
            patterns << p;
    }
    return QStringLiteral("画像ファイル|") + patterns.join(QLatin1Char(';'));
}

} // namespace

TForm1::TForm1(TForm3& form3, TForm4& form4, TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), form3_(form3), form4_(form4), dialogs_(dialogs) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kelvora"));
    resize(640, 480);

    SPIs1 = new TSPIs(this);
    SPIs1->GraphicPreview = false;
    SPIs1->SearchOptions = {spsSusieDir, spsAppDir};
    SPIs1->Loaded();

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFloatable(false);
    TB_Susie = ToolBar1->addAction(QStringLiteral("Susie PlugInの確認"));
    TB_Susie->setObjectName(QStringLiteral("TB_Susie"));

    auto* central = new QWidget(this);
    ListBox1 = new QListWidget(central);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnAdd = new QPushButton(QStringLiteral("追加"), central);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnDelete = new QPushButton(QStringLiteral("削除"), central);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnCreate = new QPushButton(QStringLiteral("作成"), central);
    btnCreate->setObjectName(QStringLiteral("btnCreate"));
    btnCreate->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnCreate);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(ListBox1, 1);
    layout->addLayout(buttons);
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    Timer1->start();

    connect(btnAdd, &QPushButton::clicked, this, &TForm1::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TForm1::btnDeleteClick);
    connect(btnCreate, &QPushButton::clicked, this, &TForm1::btnCreateClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(TB_Susie, &QAction::triggered, this, &TForm1::TB_SusieClick);
    connect(&form3_, &TForm3::hidden, this, &QWidget::show);
}

void TForm1::AddFile(const std::string& path) {
    const QString text = toQ(path);
    for (int i = 0; i < ListBox1->count(); ++i)
        if (ListBox1->item(i)->data(Qt::UserRole).toByteArray().toStdString() == path)
            return;
    auto* item = new QListWidgetItem(text, ListBox1);
    item->setData(Qt::UserRole, QByteArray::fromStdString(path));
}

void TForm1::TB_SusieClick() {
    if (form2_)
        form2_->setVisible(true);
}

void TForm1::btnAddClick() {
    for (const QString& name : dialogs_.openFileNames(this, pictureFilter()))
        AddFile(fromQ(name));
}

void TForm1::btnDeleteClick() {
    qDeleteAll(ListBox1->selectedItems());
}

void TForm1::Timer1Timer() {
    btnCreate->setEnabled(ListBox1->count() > 0);
    btnDelete->setEnabled(!ListBox1->selectedItems().isEmpty());
}

void TForm1::btnCreateClick() {
    const QString page = dialogs_.saveFileName(this, QStringLiteral("HTMLファイル(*.html)|*.html"));
    if (page.isEmpty())
        return;
    form3_.HTMLFileName = fromQ(page);
    form3_.SourceFiles.clear();
    for (int i = 0; i < ListBox1->count(); ++i)
        form3_.SourceFiles.add(ListBox1->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    form3_.show();
    form3_.raise();
    hide();
    form4_.ClearComments();
}

} // namespace kelvora

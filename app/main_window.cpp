#include "app/main_window.h"

#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_windows.h"
#include "app/version_window.h"
#include "base/codepage.h"
#include "base/picture.h"
#include "settings/ui/option_dialog.h"
#include "spi/spis.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/dialogs.h"
#include "ui/window_placement.h"

#include <QCloseEvent>
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

TForm1::TForm1(const TAppWindows& windows, TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), windows_(windows), dialogs_(dialogs) {
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
    btnSet = new QPushButton(QStringLiteral("設定"), central);
    btnSet->setObjectName(QStringLiteral("btnSet"));
    TB_Version = new QPushButton(QStringLiteral("バージョン情報"), central);
    TB_Version->setObjectName(QStringLiteral("TB_Version"));
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
    buttons->addWidget(btnSet);
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnCreate);
    buttons->addWidget(TB_Version);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(ListBox1, 1);
    layout->addLayout(buttons);
    setCentralWidget(central);
    CenterOnScreen(*this);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    Timer1->start();

    connect(btnSet, &QPushButton::clicked, this, &TForm1::btnSetClick);
    connect(TB_Version, &QPushButton::clicked, this, &TForm1::TB_VersionClick);
    connect(btnAdd, &QPushButton::clicked, this, &TForm1::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TForm1::btnDeleteClick);
    connect(btnCreate, &QPushButton::clicked, this, &TForm1::btnCreateClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(TB_Susie, &QAction::triggered, this, &TForm1::TB_SusieClick);
}

void TForm1::AddFile(const std::string& path) {
    const QString text = toQ(path);
    for (int i = 0; i < ListBox1->count(); ++i)
        if (ListBox1->item(i)->data(Qt::UserRole).toByteArray().toStdString() == path)
            return;
    auto* item = new QListWidgetItem(text, ListBox1);
    item->setData(Qt::UserRole, QByteArray::fromStdString(path));
}

void TForm1::closeEvent(QCloseEvent* event) {
    // While the options dialog or the about box disables this window it cannot close:
    // the program would go on without a main window. (Window managers still offer Close
    // on a disabled window.)
    if (!isEnabled())
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void TForm1::btnSetClick() {
    windows_.frmOption->show();
    windows_.frmOption->raise();
}

void TForm1::TB_VersionClick() {
    windows_.frmVersion->show();
    windows_.frmVersion->raise();
}

void TForm1::TB_SusieClick() {
    windows_.Form2->show();
    windows_.Form2->raise();
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
    TForm3& form3 = *windows_.Form3;
    form3.HTMLFileName = fromQ(page);
    form3.SourceFiles.clear();
    for (int i = 0; i < ListBox1->count(); ++i)
        form3.SourceFiles.add(ListBox1->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    form3.show();
    form3.raise();
    hide();
    windows_.Form4->ClearComments();
}

} // namespace kelvora

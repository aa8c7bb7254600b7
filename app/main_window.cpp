#include "app/main_window.h"

#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_texts.h"
#include "app/app_windows.h"
#include "app/button_row.h"
#include "app/list_thumbnails.h"
#include "app/picture_collector.h"
#include "app/preview.h"
#include "app/splash.h"
#include "app/version_window.h"
#include "base/program_folder.h"
#include "base/shell_opener.h"
#include "settings/ui/option_dialog.h"
#include "shell/items/id_list.h"
#include "shell/ui/tree_view.h"
#include "spi/spis.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/image.h"
#include "ui/window_placement.h"

#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

namespace kelvora {
namespace {

// The window's outer size, the panes' design sizes and the button rows' layout.
constexpr QSize kOuterSize(685, 525);
constexpr int kTreeWidth = 217;
constexpr int kCollectionHeight = 191;
constexpr int kPreviewWidth = 189;
constexpr int kSplitterWidth = 3;
constexpr int kRowDesignWidth = 677;
constexpr int kRowHeight = 33;
constexpr QSize kButtonSize(75, 25);

QPushButton* newButton(const char* name, const QString& text) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QAction* newAction(QToolBar* bar, const char* name, const QString& text) {
    QAction* action = bar->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QSplitter* newSplitter(const char* name, Qt::Orientation orientation, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(QString::fromLatin1(name));
    splitter->setHandleWidth(kSplitterWidth);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

} // namespace

TForm1::TForm1(const TAppWindows& windows, TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), windows_(windows), dialogs_(dialogs), opener_(&DefaultShellOpener()) {
    InitAppResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kelvora"));

    // The plug-ins are loaded first, so that every picture this window reads may be of
    // their formats.
    SPIs1 = new TSPIs(this);
    SPIs1->GraphicPreview = false;
    SPIs1->SearchOptions = {spsSusieDir, spsAppDir};
    SPIs1->Loaded();

    buildToolBar();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Splitter2 = newSplitter("Splitter2", Qt::Vertical, central);
    buildBrowserPane();
    buildCollectionPane();
    Splitter2->addWidget(Panel1);
    Splitter2->addWidget(Panel2);
    // Resizing the window resizes the browser pane only.
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    layout->addWidget(Splitter2, 1);
    buildBottomRow();
    layout->addWidget(Panel5);
    setCentralWidget(central);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    SaveDialog1.Filter = QStringLiteral("HTMLファイル(*.html)|*.html");
    SaveDialog1.DefaultExt = QStringLiteral("*.html");

    resize(kOuterSize);
    CenterOnScreen(*this);
    connectHandlers();
    setUpKeyboard();
    Timer1->start();
}

TForm1::~TForm1() {
    // The controls go with the window's children, after this object's members: nothing
    // they signal on the way may reach the handlers, and the list box lets go of its
    // model first.
    Timer1->stop();
    disconnect(VelShListView1, nullptr, this, nullptr);
    disconnect(ListBox1->selectionModel(), nullptr, this, nullptr);
    ListBox1->setModel(nullptr);
}

void TForm1::buildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    TB_Susie = newAction(ToolBar1, "TB_Susie", QStringLiteral("Susie PlugInの確認"));
    ToolBar1->addSeparator();
    TB_Version = newAction(ToolBar1, "TB_Version", AppTexts::Text(AppTexts::SVersionInfo));
    TB_Help = newAction(ToolBar1, "TB_Help", QStringLiteral("ヘルプ"));
    TB_End = newAction(ToolBar1, "TB_End", AppTexts::Text(AppTexts::SExit));
}

void TForm1::buildBrowserPane() {
    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar2 = new QToolBar(Panel1);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setMovable(false);
    ToolBar2->setFloatable(false);
    ToolBar2->setIconSize(QSize(20, 20));
    ToolBar2->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const struct {
        QAction*& action;
        const char* name;
        QString text;
        const char* icon;
    } items[] = {
        {TB_Icon, "TB_Icon", QStringLiteral("大きいアイコン"), "view-icon"},
        {TB_SmallIcon, "TB_SmallIcon", QStringLiteral("小さいアイコン"), "view-small"},
        {TB_List, "TB_List", QStringLiteral("一覧"), "view-list"},
        {TB_Report, "TB_Report", QStringLiteral("詳細"), "view-details"},
    };
    for (const auto& item : items) {
        item.action = newAction(ToolBar2, item.name, item.text);
        item.action->setIcon(
            QIcon(QStringLiteral(":/kelvora/icons/%1.svg").arg(QLatin1String(item.icon))));
        item.action->setCheckable(true);
    }
    TB_Icon->setChecked(true);
    layout->addWidget(ToolBar2);

    Splitter1 = newSplitter("Splitter1", Qt::Horizontal, Panel1);
    VelShTreeView1 = new TVelShTreeView(Splitter1);
    VelShTreeView1->setObjectName(QStringLiteral("VelShTreeView1"));
    VelShTreeView1->SetCheckboxes(false);
    VelShTreeView1->setIndentation(19);
    VelShListView1 = new TVelShListView(Splitter1);
    VelShListView1->setObjectName(QStringLiteral("VelShListView1"));
    VelShListView1->SetColumnMemoryFile(ColumnMemoryFilePath());
    VelShTreeView1->SetShListView(VelShListView1);
    VelShListView1->SetThumbnailProducer(MainWindowThumbnails(SPIs1));
    VelShListView1->SetViewStyle(vsIcon);
    // Read-only for the collected album: no renaming in place. Files dropped onto a
    // folder are still copied or moved, asking before anything is replaced.
    VelShTreeView1->SetReadOnly(true);
    VelShListView1->SetReadOnly(true);
    VelShTreeView1->SetDialogs(dialogs_);
    VelShListView1->SetDialogs(dialogs_);
    Splitter1->addWidget(VelShTreeView1);
    Splitter1->addWidget(VelShListView1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    layout->addWidget(Splitter1, 1);
}

void TForm1::buildCollectionPane() {
    Panel2 = new QWidget;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* layout = new QVBoxLayout(Panel2);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel3 = new TButtonRow(kRowDesignWidth, kRowHeight, Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    btnSet = newButton("btnSet", QStringLiteral("設定"));
    Button1 = newButton("Button1", QStringLiteral("追加"));
    Button1->setEnabled(false);
    Panel3->addButton(btnSet, 8, 4, kButtonSize);
    Panel3->addButton(Button1, 88, 4, kButtonSize);
    layout->addWidget(Panel3);

    Splitter3 = newSplitter("Splitter3", Qt::Horizontal, Panel2);
    ListBox1 = new TCollectedListView(collected_, Splitter3);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu1 = new QMenu(ListBox1);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    TB_List_Delete = PopupMenu1->addAction(QStringLiteral("削除"));
    TB_List_Delete->setObjectName(QStringLiteral("TB_List_Delete"));

    Panel4 = new QFrame(Splitter3);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* frame = new QVBoxLayout(Panel4); // inside the frame's border
    frame->setContentsMargins(0, 0, 0, 0);
    Image1 = new TImage(Panel4);
    Image1->setObjectName(QStringLiteral("Image1"));
    frame->addWidget(Image1);
    previews_ = std::make_unique<TPreviewLoader>(*Image1);
    Splitter3->addWidget(ListBox1);
    Splitter3->addWidget(Panel4);
    Splitter3->setStretchFactor(0, 1);
    Splitter3->setStretchFactor(1, 0);
    layout->addWidget(Splitter3, 1);
}

void TForm1::buildBottomRow() {
    Panel5 = new TButtonRow(kRowDesignWidth, kRowHeight);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    btnCreate = newButton("btnCreate", QStringLiteral("作成"));
    btnCreate->setEnabled(false);
    btnEnd = newButton("btnEnd", AppTexts::Text(AppTexts::SExit));
    Panel5->addButton(btnCreate, 506, 4, kButtonSize);
    Panel5->addButton(btnEnd, 594, 4, kButtonSize);
}

void TForm1::connectHandlers() {
    connect(TB_Susie, &QAction::triggered, this, &TForm1::TB_SusieClick);
    connect(TB_Version, &QAction::triggered, this, &TForm1::TB_VersionClick);
    connect(TB_Help, &QAction::triggered, this, &TForm1::TB_HelpClick);
    connect(TB_End, &QAction::triggered, this, &TForm1::TB_EndClick);
    connect(TB_Icon, &QAction::triggered, this, &TForm1::TB_IconClick);
    connect(TB_SmallIcon, &QAction::triggered, this, &TForm1::TB_SmallIconClick);
    connect(TB_List, &QAction::triggered, this, &TForm1::TB_ListClick);
    connect(TB_Report, &QAction::triggered, this, &TForm1::TB_ReportClick);
    connect(VelShListView1, &TCustomVelShListView::OnSelectItem, this,
            &TForm1::VelShListView1SelectItem);
    connect(btnSet, &QPushButton::clicked, this, &TForm1::btnSetClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!deleting_)
            ListBox1Click();
    });
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(pos));
    });
    connect(TB_List_Delete, &QAction::triggered, this, &TForm1::TB_List_DeleteClick);
    connect(ListBox1, &TCollectedListView::deleteRequested, this, &TForm1::TB_List_DeleteClick);
    connect(btnCreate, &QPushButton::clicked, this, &TForm1::btnCreateClick);
    connect(btnEnd, &QPushButton::clicked, this, &TForm1::btnEndClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
}

void TForm1::setUpKeyboard() {
    const QKeySequence keys[] = {Qt::CTRL | Qt::Key_1, Qt::CTRL | Qt::Key_2, Qt::CTRL | Qt::Key_3,
                                 Qt::CTRL | Qt::Key_4};
    QAction* const styles[] = {TB_Icon, TB_SmallIcon, TB_List, TB_Report};
    for (int i = 0; i < 4; ++i) {
        styles[i]->setShortcut(keys[i]);
        styles[i]->setShortcutContext(Qt::WindowShortcut);
    }
    // Tool buttons take no keyboard focus by default, which leaves the toolbars out of
    // the Tab chain; Space or Enter then presses the focused one.
    for (QToolBar* bar : {ToolBar1, ToolBar2})
        for (QAction* action : bar->actions())
            if (QWidget* button = bar->widgetForAction(action))
                button->setFocusPolicy(Qt::TabFocus);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !sized_) {
        sized_ = true;
        applyDesignSizes();
    }
}

void TForm1::applyDesignSizes() {
    // The outer size includes the frame, which is known once the window is shown.
    const QSize frame = frameGeometry().size() - size();
    if (!frame.isEmpty())
        resize(kOuterSize - frame);
    const int width = Splitter1->width() - Splitter1->handleWidth();
    Splitter1->setSizes({kTreeWidth, width - kTreeWidth});
    const int height = Splitter2->height() - Splitter2->handleWidth();
    Splitter2->setSizes({height - kCollectionHeight, kCollectionHeight});
    const int listWidth = Splitter3->width() - Splitter3->handleWidth();
    Splitter3->setSizes({listWidth - kPreviewWidth, kPreviewWidth});
    CenterOnScreen(*this);
    if (state_) {
        // The kept sizes replace the design's once the window is laid out.
        if (state_->size.isValid()) {
            // Kept from a larger screen, it still fits on this one.
            const QScreen* shown = screen();
            resize(shown ? state_->size.boundedTo(shown->availableGeometry().size())
                         : state_->size);
        }
        const std::pair<QSplitter*, const QList<int>*> splitters[] = {
            {Splitter1, &state_->browserSplit},
            {Splitter2, &state_->paneSplit},
            {Splitter3, &state_->previewSplit}};
        for (const auto& [splitter, sizes] : splitters)
            if (sizes->size() == splitter->count())
                splitter->setSizes(*sizes);
        if (state_->size.isValid())
            CenterOnScreen(*this);
    }
}

TMainWindowState TForm1::State() const {
    TMainWindowState state;
    if (TVelShFileList* shown = VelShListView1->ShFileList())
        state.folder = shown->Path();
    state.viewStyle = static_cast<int>(VelShListView1->ViewStyle());
    state.size = size();
    state.browserSplit = Splitter1->sizes();
    state.paneSplit = Splitter2->sizes();
    state.previewSplit = Splitter3->sizes();
    return state;
}

void TForm1::ApplyState(const TMainWindowState& state) {
    QAction* const items[] = {TB_Icon, TB_SmallIcon, TB_List, TB_Report};
    if (state.viewStyle >= vsIcon && state.viewStyle <= vsReport)
        setViewStyle(static_cast<TViewStyle>(state.viewStyle), items[state.viewStyle]);
    // A folder that is gone leaves the browser where it starts.
    if (!state.folder.empty())
        OpenFolder(state.folder);
    state_ = state;
    if (sized_)
        applyDesignSizes();
}

bool TForm1::OpenFolder(const std::string& path) {
    if (!TPictureCollector::IsFolder(path))
        return false;
    PItemIDList parsed = nullptr;
    if (!TVelShID::IDParse(path, parsed))
        return false;
    const TIDListPtr id(parsed);
    VelShListView1->SetFolder(id.get());
    return true;
}

QMenu* TForm1::createPopupMenu() {
    return nullptr; // the toolbars stay; no menu to hide them
}

// --- the file list and the collected list ------------------------------------------

std::optional<std::string> TForm1::focusedPath() const {
    if (VelShListView1->ItemsCount() == 0)
        return std::nullopt;
    TVelShFileData* item = VelShListView1->ItemFocused();
    if (!item)
        return std::nullopt;
    std::string path;
    item->GetPath(path); // empty for an item without a file-system path
    return path;
}

std::vector<std::string> TForm1::SelectedPaths() const {
    std::vector<int> rows;
    for (const QModelIndex& index : VelShListView1->SelectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (int row : rows) {
        std::string path;
        if (TVelShFileData* item = VelShListView1->Items(row))
            item->GetPath(path);
        paths.push_back(std::move(path));
    }
    return paths;
}

void TForm1::VelShListView1SelectItem(TVelShFileData*, bool) {
    Button1->setEnabled(false);
    const std::optional<std::string> focused = focusedPath();
    bool canAdd = selection_.Changed(focused);
    if (focused) {
        // Several rows, or a folder: what the pictures among them would add.
        const std::vector<std::string> selected = SelectedPaths();
        if (TPictureCollector::ExpandsSelection(selected))
            canAdd = TPictureCollector::WouldAdd(selected, collected_);
    }
    if (!focused) {
        previews_->Clear();
        return;
    }
    // Clears the preview first, unless it shows this very file already. Whatever is no
    // picture (a folder, a text, a damaged file) shows no preview, without a word.
    previews_->Show(SelectedPath());
    Button1->setEnabled(canAdd);
}

void TForm1::Button1Click() {
    const std::vector<std::string> selected = SelectedPaths();
    if (TPictureCollector::ExpandsSelection(selected))
        collected_.Insert(TPictureCollector::PathsToAdd(selected, collected_), collected_.Count());
    else
        AddFile(SelectedPath());
    Button1->setEnabled(false);
}

void TForm1::AddFile(const std::string& path) {
    collected_.Add(path);
}

void TForm1::ListBox1Click() {
    const std::vector<int> rows = ListBox1->SelectedRows();
    if (rows.empty()) {
        previews_->Clear();
        return;
    }
    // Of several selected entries, the one clicked last.
    const QModelIndex current = ListBox1->currentIndex();
    const int row = current.isValid() && ListBox1->selectionModel()->isSelected(current)
                        ? current.row()
                        : rows.front();
    const std::string path = collected_.Entry(row);
    previews_->Show(path, [this](std::exception_ptr failure) {
        RunHandler(dialogs_, this, [&] { std::rethrow_exception(failure); });
    });
}

void TForm1::TB_List_DeleteClick() {
    const std::vector<int> rows = ListBox1->SelectedRows();
    if (rows.empty())
        return;
    const QScopedValueRollback<bool> deleting(deleting_, true);
    collected_.DeleteRows(rows);
    // The view would select the next entry; nothing stays selected, so that a second
    // 削除 does not take another entry.
    ListBox1->selectionModel()->clearSelection();
}

void TForm1::Timer1Timer() {
    if (collected_.Count() == 0 && btnCreate->isEnabled())
        btnCreate->setEnabled(false);
    else if (collected_.Count() > 0 && !btnCreate->isEnabled())
        btnCreate->setEnabled(true);
}

// --- commands ----------------------------------------------------------------------

void TForm1::btnSetClick() {
    windows_.frmOption->show();
    windows_.frmOption->raise();
}

void TForm1::TB_SusieClick() {
    windows_.Form2->show();
    windows_.Form2->raise();
}

void TForm1::TB_VersionClick() {
    windows_.frmVersion->show();
    windows_.frmVersion->raise();
}

void TForm1::TB_HelpClick() {
    const std::string guide = HelpFilePath();
    const auto failed = [this] {
        dialogs_.showError(this, AppTexts::Text(BaseTexts::SCannotOpenHtml));
    };
    std::error_code error;
    if (!std::filesystem::is_regular_file(guide, error)) {
        failed();
        return;
    }
    opener_->openChecked(guide, this, [failed](bool ok) {
        if (!ok)
            failed();
    });
}

void TForm1::btnCreateClick() {
    if (!SaveDialog1.Execute(dialogs_, this))
        return;
    TForm3& form3 = *windows_.Form3;
    // The dialog names files as Qt does; these are the bytes Qt opens them by.
    form3.HTMLFileName = QFile::encodeName(SaveDialog1.FileName).toStdString();
    form3.SourceFiles.clear();
    for (const std::string& path : collected_.Entries())
        form3.SourceFiles.add(path);
    form3.show();
    form3.raise();
    hide();
    // The comments typed for pictures still listed stay with them.
    windows_.Form4->KeepCommentsOf(form3.SourceFiles);
}

void TForm1::TB_EndClick() {
    close();
}

void TForm1::btnEndClick() {
    close();
}

void TForm1::setViewStyle(TViewStyle style, QAction* checked) {
    VelShListView1->SetViewStyle(style);
    VelShListView1->ActiveView()->viewport()->update();
    for (QAction* item : {TB_Icon, TB_SmallIcon, TB_List, TB_Report})
        item->setChecked(item == checked);
}

void TForm1::TB_IconClick() {
    setViewStyle(vsIcon, TB_Icon);
}

void TForm1::TB_SmallIconClick() {
    setViewStyle(vsSmallIcon, TB_SmallIcon);
}

void TForm1::TB_ListClick() {
    setViewStyle(vsList, TB_List);
}

void TForm1::TB_ReportClick() {
    setViewStyle(vsReport, TB_Report);
}

// --- closing -----------------------------------------------------------------------

bool TForm1::FormCloseQuery() {
    return dialogs_.askYesNo(this, QStringLiteral("確認"),
                             QStringLiteral("終了します。よろしいですか？"),
                             TMessageIcon::Question);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // While the options dialog or the about box disables this window it cannot close:
    // the program would go on without a main window. (Window managers still offer
    // Close on a disabled window.)
    if (!isEnabled() || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

} // namespace kelvora

#pragma once
// The main window: the folder tree and file list to browse the disk, a preview of the
// picture last chosen, the collected list of the album's pictures, and the commands
// that set options, create the album and quit. It owns the plug-in manager, whose
// plug-ins are loaded while the window is created, before any picture is read.
//
// Creating the album hands the collected list to the generation window and hides this
// window; the generation window brings it back when it is hidden (ConnectWindows). The
// options dialog and the about box disable this window while they are shown.
//
// "追加" adds the focused file, or with several rows or a folder selected every picture
// they hold that is not listed (TPictureCollector). The collected list takes files
// dropped on it and is put in order by dragging and Ctrl+Up / Ctrl+Down
// (TCollectedListView); its order is the album's.
//
// The window's state (folder, view style, size, splitters) is given to it and read
// from it (TMainWindowState); the program keeps it between sessions.
//
// Everything runs on the GUI thread but the preview's decoding (app/preview.h), whose
// result comes back by a queued call. "作成" is enabled by Timer1, every 100 ms.
// "ヘルプ" opens the user guide installed with the program through the shell opener.
#include "app/collected_list.h"
#include "app/collected_list_view.h"
#include "app/preview.h"
#include "app/session_state.h"
#include "shell/ui/list_view.h"
#include "ui/dialogs.h"

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QListView;
class QMenu;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;

namespace kelvora {

class TButtonRow;
class TShellOpener;
class TImage;
class TSPIs;
class TVelShTreeView;
struct TAppWindows;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(const TAppWindows& windows, TDialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    // Top toolbar
    QToolBar* ToolBar1;
    QAction* TB_Susie;   // "Susie PlugInの確認"
    QAction* TB_Version; // "バージョン情報"
    QAction* TB_Help;    // "ヘルプ": the user guide
    QAction* TB_End;     // "終了"
    // Browser pane: the view items over the tree and the list
    QWidget* Panel1;
    QToolBar* ToolBar2;
    QAction* TB_Icon;      // "大きいアイコン"
    QAction* TB_SmallIcon; // "小さいアイコン"
    QAction* TB_List;      // "一覧"
    QAction* TB_Report;    // "詳細"
    QSplitter* Splitter1;  // tree | list
    TVelShTreeView* VelShTreeView1;
    TVelShListView* VelShListView1;
    QSplitter* Splitter2; // browser pane / collection pane
    // Collection pane
    QWidget* Panel2;
    TButtonRow* Panel3;
    QPushButton* btnSet;  // "設定"
    QPushButton* Button1; // "追加"
    QSplitter* Splitter3; // list box | preview
    TCollectedListView* ListBox1;
    QMenu* PopupMenu1;
    QAction* TB_List_Delete; // "削除"
    QFrame* Panel4;          // the sunken frame of the preview
    TImage* Image1;
    // Bottom row and status bar
    TButtonRow* Panel5;
    QPushButton* btnCreate; // "作成"
    QPushButton* btnEnd;    // "終了"
    QStatusBar* StatusBar1;
    // Non-visual parts
    TSPIs* SPIs1;
    QTimer* Timer1;
    TSaveDialog SaveDialog1;

    // Handlers
    void VelShListView1SelectItem(TVelShFileData* item, bool selected);
    void Button1Click();
    void ListBox1Click();
    void TB_List_DeleteClick();
    void Timer1Timer();
    void btnSetClick();
    void btnCreateClick();
    void TB_SusieClick();
    void TB_VersionClick();
    void TB_HelpClick();
    void TB_EndClick();
    void btnEndClick();
    void TB_IconClick();
    void TB_SmallIconClick();
    void TB_ListClick();
    void TB_ReportClick();
    // The closing question; false keeps the window open.
    bool FormCloseQuery();

    // The collected list that ListBox1 shows.
    TCollectedList& Collected() { return collected_; }
    // The focused row's path at the last selection change that found one.
    const std::string& SelectedPath() const { return selection_.SelectedPath(); }
    // Adds a file as "追加" does, unless it is listed already (files opened with the program).
    void AddFile(const std::string& path);
    // What Image1 shows.
    const TPreviewLoader& Previews() const { return *previews_; }
    // What opens the user guide (the desktop's opener unless a test sets one).
    void SetShellOpener(TShellOpener& opener) { opener_ = &opener; }
    // The paths of the file list's selected rows, in the list's order ("" for a row
    // without a file-system path).
    std::vector<std::string> SelectedPaths() const;
    // Shows a folder in the browser; false when it is no folder that can be shown.
    bool OpenFolder(const std::string& path);
    // The state to keep for the next session, and the one kept from the last; a part
    // the state leaves empty keeps the design's. Applied before the window is shown.
    TMainWindowState State() const;
    void ApplyState(const TMainWindowState& state);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void buildToolBar();
    void buildBrowserPane();
    void buildCollectionPane();
    void buildBottomRow();
    void connectHandlers();
    // Ctrl+1 ... Ctrl+4 for the view styles; Tab reaches the toolbars' buttons.
    void setUpKeyboard();
    // The design sizes of the panes, once the window has its size.
    void applyDesignSizes();
    void setViewStyle(TViewStyle style, QAction* checked);
    std::optional<std::string> focusedPath() const;

    const TAppWindows& windows_;
    TDialogs& dialogs_;
    TShellOpener* opener_;
    TCollectedList collected_;
    TFileSelection selection_{collected_};
    std::unique_ptr<TPreviewLoader> previews_; // over Image1
    bool sized_ = false;
    std::optional<TMainWindowState> state_; // applied once the window has its size
    bool deleting_ = false; // selection changes while an entry is deleted are no clicks
};

} // namespace kelvora

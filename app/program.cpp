#include "app/program.h"

#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/session_state.h"
#include "app/splash.h"
#include "app/startup.h"
#include "app/version_window.h"
#include "base/do_events.h"
#include "base/shell_opener.h"
#include "settings/inifile.h"
#include "settings/ui/option_dialog.h"
#include "shell/dialogs/notify_error_handler.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"
#include "ui/translation.h"

#include <QApplication>
#include <QScreen>
#include <clocale>
#include <filesystem>
#include <sys/stat.h>

namespace kelvora {
namespace {

// Hides the splash once the main window has painted, so that it does not linger on the
// screen (or in the window list) for the whole session.
class SplashCloser : public QObject {
public:
    SplashCloser(QWidget& mainWindow, QWidget& splash) : splash_(splash) {
        mainWindow.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            splash_.hide();
        }
        return false;
    }

private:
    QWidget& splash_;
};

bool isRegularFile(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void TakeCommandLine(TForm1& form1, const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(arg, error);
        if (error || arg.empty())
            continue;
        const std::string path = absolute.lexically_normal().string();
        if (isRegularFile(arg.c_str()))
            form1.AddFile(path);
        else
            form1.OpenFolder(path);
    }
}

void SetUpApplication(QApplication& app) {
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvora"));
    installJapaneseTranslation(app);
    applyInterfaceFont(app);
    QApplication::setWindowIcon(ApplicationIcon());
}

int ScreenDepth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 32;
}

int RunKelvora(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    releaseLargeBlocksAtOnce();
    QApplication app(argc, argv);
    SetUpApplication(app);
    const TPictureFormatsScope formats(ScreenDepth());

    TfrmSplash splash;
    splash.show();
    splash.repaint();
    DoEvents();

    QApplication::setApplicationName(QStringLiteral("Kelvora"));

    TDialogs& dialogs = DefaultDialogs();
    TShellOpener& opener = DefaultShellOpener();
    const std::string optionFile = OptionFilePath();
    TAppWindows windows;
    TForm1 form1(windows, dialogs);
    windows.Form1 = &form1;
    TForm4 form4;
    windows.Form4 = &form4;
    TForm2 form2(form1.SPIs1);
    windows.Form2 = &form2;
    TfrmOption frmOption(optionFile, dialogs, &form1);
    windows.frmOption = &frmOption;
    TfrmVersion frmVersion(splash, opener, &form1);
    windows.frmVersion = &frmVersion;
    TForm3 form3(form4, optionFile, dialogs, opener);
    windows.Form3 = &form3;
    ConnectWindows(windows);
    // The folder browser's worker threads report their errors over the main window.
    ShInstallNotifyErrorHandler(dialogs, &form1);

    // The last session's folder, window and page options; none the first time.
    const std::string stateFile = SessionStateFilePath();
    const TSessionState state = LoadSessionState(stateFile);
    form1.ApplyState(state.main);
    if (state.page)
        form3.SetPageOptions(*state.page);

    std::vector<std::string> args(argv + 1, argv + argc);
    TakeCommandLine(form1, args);

    SplashCloser closer(form1, splash);
    form1.show();
    const int result = app.exec();
    try {
        SaveSessionState(stateFile, {form1.State(), form3.PageOptions()});
    } catch (const std::exception&) {
        // A settings folder that takes no file costs only the next start's layout.
    }
    DoEvents();
    splash.hide();
    return result;
}

} // namespace kelvora

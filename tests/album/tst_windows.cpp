// The generation window and the comment editor, driven through their controls.
#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_windows.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "base/shell_opener.h"
#include "tests/shell/browser_world.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xdg_sandbox.h"
#include "ui/color_label.h"
#include "ui/image.h"
#include "ui/spin_edit.h"
#include "ui/status_progress.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        lines.push_back(text.substr(start, pos - start));
    if (start < text.size())
        lines.push_back(text.substr(start) + "<no CR LF>");
    return lines;
}

QStringList rows(QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0) + QLatin1Char('=') + list->topLevelItem(i)->text(1);
    return out;
}

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton);
}

// Types any text, Japanese included, as key presses and releases.
void type(QWidget* w, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

void clickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// Starts the run and waits until it has ended, as the user waits for its message.
void runAndWait(TForm3& form3) {
    click(form3.Button1);
    QTRY_VERIFY_WITH_TIMEOUT(!form3.running(), 60000);
}

// Every file below a folder, by relative path, with its bytes.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        files[std::filesystem::relative(e.path(), folder).string()] =
            e.is_directory() ? "<folder>" : readFile(e.path().string());
    return files;
}

// One window set per test, as the program creates them.
struct Windows {
    TempDir dir;
    FakeDialogs dialogs;
    FakeOpener opener;
    TForm4 form4;
    TForm3 form3{form4, dir.file("Option.ini"), dialogs, opener};

    std::string page() const { return dir.file("site/album.html"); }
    std::string picture(const std::string& name, int w, int h) const {
        const bool bmp = name.size() > 4 && name.substr(name.size() - 4) == ".bmp";
        return saveImage(patternImage(w, h), dir.file("pics/" + name), bmp ? "bmp" : "jpg", 90);
    }
    void start(const std::vector<std::string>& files) {
        form3.HTMLFileName = page();
        form3.SourceFiles.clear();
        for (const auto& f : files)
            form3.SourceFiles.add(f);
        form4.ClearComments();
        form3.show();
    }
};

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerPictureFormats(32); }

    void runWritesPicturesAndThePage() {
        Windows w;
        const std::vector<std::string> files = {
            w.picture("a.jpg", 120, 80), w.picture("b.bmp", 90, 60), w.picture("c.jpg", 40, 40),
            w.picture("d.bmp", 10, 20)};
        w.start(files);
        QCOMPARE(w.form3.lblHTMLFileName->text(), QString::fromStdString(w.page()));
        QCOMPARE(w.form3.lblLargePicture->text(),
                 QString::fromStdString(w.dir.path() + "/site/large/"));
        QVERIFY(!w.form3.btnShowHTML->isEnabled());

        type(w.form3.txtTitle, QStringLiteral("旅行 & <b>"));
        w.form3.spnCols->setValue(3);
        w.form3.chkFrame->setChecked(true);
        w.form3.spnFrameWidth->setValue(2);
        w.dialogs.colorAnswers = {QColor(255, 0, 0), QColor(0, 0, 255)};
        click(w.form3.Button3); // frame colour
        click(w.form3.Button2); // background colour
        // The shared dialog opens with what it last returned, not the label's colour.
        QCOMPARE(w.dialogs.colorDialogInitials.size(), 2u);
        QCOMPARE(w.dialogs.colorDialogInitials[0], QColor(Qt::black));
        QCOMPARE(w.dialogs.colorDialogInitials[1], QColor(255, 0, 0));
        w.form3.chkComment->setChecked(true);
        w.form3.rbUp->setChecked(true);

        click(w.form3.btnCommentEdit);
        QVERIFY(w.form4.isVisible());
        QVERIFY(!w.form4.txtComment->isEnabled());
        clickRow(w.form4.ListView1, 0);
        QVERIFY(w.form4.txtComment->isEnabled());
        type(w.form4.txtComment, QStringLiteral("Beach"));
        clickRow(w.form4.ListView1, 2);
        type(w.form4.txtComment, QStringLiteral("two"));
        QTest::keyClick(w.form4.txtComment, Qt::Key_Return);
        type(w.form4.txtComment, QStringLiteral("lines"));
        QCOMPARE(w.form4.ListView1->topLevelItem(2)->text(1), QStringLiteral("two\r\nlines"));

        runAndWait(w.form3);
        QCOMPARE(w.dialogs.errors, QStringList());
        QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("完了しました")});
        QVERIFY(w.form3.btnShowHTML->isEnabled());
        QVERIFY(w.form3.stProgress->isHidden());

        const std::string site = w.dir.path() + "/site/";
        for (int i = 0; i < 4; ++i) {
            QVERIFY(fileExists(site + "large/L" + std::to_string(i) + ".jpg"));
            QVERIFY(fileExists(site + "Small/S" + std::to_string(i) + ".jpg"));
        }
        QCOMPARE(QImage(QString::fromStdString(site + "large/L1.jpg")).size(), QSize(45, 30));
        QCOMPARE(QImage(QString::fromStdString(site + "Small/S0.jpg")).size(), QSize(36, 24));

        const std::string frame = "<TABLE border=\"2\" cellspacing=\"0\" cellpadding=\"0\" "
                                  "bordercolor=\"#FF0000\"><TR><TD>";
        std::vector<std::string> want = {
            "<HTML>",
            "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
            "<title>旅行 & <b></title></head>",
            "<BODY BGCOLOR=\"#0000FF\">",
            "<TABLE border=\"1\" cellpadding=\"2\" cellspacing=\"0\">"};
        const char* comments[] = {"Beach", "", "two\r\nlines", ""};
        for (int i = 0; i < 4; ++i) {
            const std::string n = std::to_string(i);
            if (i % 3 == 0)
                want.push_back("<TR>");
            for (std::string line : {std::string("<TD>"), std::string(comments[i]) + "<BR>", frame,
                                     "<a href=\"large/L" + n + ".jpg\">",
                                     "<img src=\"Small/S" + n + ".jpg\" border=\"0\"></a>",
                                     std::string("</TD></TR></TABLE>"), std::string("</TD>")})
                want.push_back(line);
            if (i % 3 == 2)
                want.push_back("</TR>");
        }
        for (const char* line : {"</TR>", "</TABLE>", "</BODY>", "</HTML>"})
            want.push_back(line);
        // The comment of two lines spans two lines of the file.
        auto got = splitLines(readFile(w.page()));
        std::vector<std::string> wantSplit = splitLines([&] {
            std::string all;
            for (const auto& l : want)
                all += l + "\r\n";
            return all;
        }());
        QCOMPARE(got, wantSplit);

        click(w.form3.btnShowHTML);
        QCOMPARE(w.opener.opened, std::vector<std::string>{w.page()});
    }

    void progressRunsToTwiceThePicturesThenBackToZero() {
        Windows w;
        w.start({w.picture("one.jpg", 30, 30)});
        QSignalSpy values(w.form3.stProgress, &QProgressBar::valueChanged);
        runAndWait(w.form3);
        QCOMPARE(w.form3.stProgress->maximum(), 2);
        QList<int> seen;
        for (const auto& args : values)
            seen << args.at(0).toInt();
        QCOMPARE(seen, (QList<int>{1, 2, 0}));
    }

    void unreadablePictureInterruptsTheRun() {
        Windows w;
        const std::string good = w.picture("good.jpg", 50, 50);
        const std::string missing = w.dir.file("pics/missing.jpg");
        w.start({good, missing, w.picture("later.jpg", 50, 50)});
        runAndWait(w.form3);
        // The picture to blame, then the reason.
        QCOMPARE(
            w.dialogs.errors,
            QStringList{QStringLiteral("%1: ファイル %1 は開けません (No such file or directory)")
                            .arg(QString::fromStdString(missing))});
        QVERIFY(w.dialogs.messages.isEmpty());
        // Nothing of a failed run stays: the folders as they were (none), no page.
        QVERIFY(!fileExists(w.dir.path() + "/site/large"));
        QVERIFY(!fileExists(w.page()));
        QVERIFY(!w.form3.btnShowHTML->isEnabled());
        QVERIFY(!w.form3.stProgress->isHidden());
        QVERIFY(w.form3.stProgress->value() < 6);

        // The window stays usable: with the file in place a new run completes.
        w.picture("missing.jpg", 20, 20);
        runAndWait(w.form3);
        QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("完了しました")});
        QVERIFY(fileExists(w.page()));
        QVERIFY(fileExists(w.dir.path() + "/site/large/L2.jpg"));
    }

    void unknownExtensionEndsTheRunWithItsMessage() {
        Windows w;
        const std::string notes = w.dir.write("pics/notes.txt", "hello");
        w.start({notes});
        runAndWait(w.form3);
        QCOMPARE(w.dialogs.errors,
                 QStringList{QString::fromStdString(notes) +
                             QStringLiteral(": 拡張子 .txt の画像形式は処理できません")});
    }

    void secondStartDuringARunIsIgnored() {
        Windows w;
        w.start({w.picture("a.jpg", 400, 300), w.picture("b.jpg", 400, 300)});
        QSignalSpy finished(&w.form3, &TForm3::runFinished);
        click(w.form3.Button1);
        QVERIFY(w.form3.running());
        click(w.form3.Button1); // the window stays live; the same album is not made twice
        QTRY_VERIFY_WITH_TIMEOUT(!w.form3.running(), 60000);
        QTest::qWait(50);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("完了しました")});
    }

    // A re-run leaves the pictures it made; "すべて作り直す" makes them again.
    void rebuildBoxConvertsEveryPictureAgain() {
        Windows w;
        w.start({w.picture("a.jpg", 40, 30)});
        QCOMPARE(w.form3.chkRebuild->text(), QStringLiteral("すべて作り直す"));
        QVERIFY(!w.form3.chkRebuild->isChecked());
        const auto inode = [&w] {
            struct stat st {};
            ::stat((w.dir.path() + "/site/large/L0.jpg").c_str(), &st);
            return st.st_ino;
        };
        runAndWait(w.form3);
        const ino_t made = inode();
        runAndWait(w.form3);
        QCOMPARE(inode(), made);
        w.form3.chkRebuild->setChecked(true);
        runAndWait(w.form3);
        QVERIFY(inode() != made);
        QCOMPARE(w.dialogs.messages, QStringList(3, QStringLiteral("完了しました")));
    }

    // "戻る" and the close box during a run ask first: No keeps the window and the run,
    // Yes stops it and hides the window once the run's files are removed. Only a run
    // that finished reports "完了しました" and is what "HTMLを開く" opens.
    void leavingDuringARunAsksAndStopsOnYes() {
        Windows w;
        std::vector<std::string> first;
        for (int i = 0; i < 6; ++i)
            first.push_back(
                w.picture(std::string("a").append(std::to_string(i)).append(".jpg"), 600, 400));
        w.start(first);
        const QString question = QStringLiteral("確認|作成を中止しますか？");
        for (const bool closeBox : {false, true}) {
            click(w.form3.Button1);
            QVERIFY(w.form3.running());
            w.dialogs.yesNoAnswers = {false};
            if (closeBox)
                QVERIFY(!w.form3.close());
            else
                click(w.form3.Button4);
            QCOMPARE(std::exchange(w.dialogs.questions, {}), QStringList{question});
            QVERIFY(w.form3.isVisible());
            QVERIFY(w.form3.running());

            w.dialogs.yesNoAnswers = {true};
            if (closeBox)
                w.form3.close();
            else
                click(w.form3.Button4);
            QCOMPARE(std::exchange(w.dialogs.questions, {}), QStringList{question});
            // Hidden only once the run has ended and removed what it staged.
            QVERIFY(w.form3.isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(!w.form3.isVisible(), 60000);
            QVERIFY(!w.form3.running());
            QVERIFY(!fileExists(w.page()));
            QVERIFY(!fileExists(w.dir.path() + "/site/large"));
            QVERIFY(w.dialogs.messages.isEmpty());
            QVERIFY(w.dialogs.errors.isEmpty());
            w.form3.show();
        }
        // Without a run the window goes at once, without a question.
        click(w.form3.Button4);
        QVERIFY(!w.form3.isVisible());
        QVERIFY(w.dialogs.questions.isEmpty());

        const std::string second = w.dir.file("other/second.html");
        w.form3.HTMLFileName = second;
        w.form3.SourceFiles.clear();
        w.form3.SourceFiles.add(w.picture("new.jpg", 30, 30));
        w.form3.show();
        runAndWait(w.form3);
        QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("完了しました")});
        QVERIFY(w.form3.btnShowHTML->isEnabled());
        click(w.form3.btnShowHTML);
        QCOMPARE(w.opener.opened, std::vector<std::string>{second});
    }

    // "中止" stops a run over an album made before with other settings: the page and
    // pictures on disk are those of the first run, byte for byte, and nothing is left
    // behind. During the run "作成開始" is off and the status bar counts the pictures.
    void stopLeavesTheAlbumThatWasThere() {
        Windows w;
        w.start({w.picture("old.jpg", 40, 40), w.picture("older.jpg", 50, 30)});
        runAndWait(w.form3);
        const auto before = snapshot(w.dir.path() + "/site");
        QVERIFY(!w.form3.btnStop->isEnabled());

        w.form3.hide();
        w.dir.write("Option.ini", "[Large]\r\nQuality=40\r\nRate=50\r\n");
        std::vector<std::string> pictures;
        for (int i = 0; i < 12; ++i)
            pictures.push_back(
                w.picture(std::string("p").append(std::to_string(i)).append(".jpg"), 900, 600));
        w.start(pictures);
        w.form3.txtTitle->setText(QStringLiteral("新しい"));
        QSignalSpy progress(w.form3.stProgress, &QProgressBar::valueChanged);
        click(w.form3.Button1);
        QVERIFY(!w.form3.Button1->isEnabled());
        QVERIFY(w.form3.btnStop->isEnabled());
        QVERIFY(progress.wait(60000));
        QTRY_VERIFY_WITH_TIMEOUT(!w.form3.lblRunStatus->text().isEmpty(), 60000);
        QVERIFY2(QRegularExpression(QStringLiteral("^([1-9][0-9]*) / 12  p[0-9]+\\.jpg$"))
                     .match(w.form3.lblRunStatus->text())
                     .hasMatch(),
                 qPrintable(w.form3.lblRunStatus->text()));
        QVERIFY(w.form3.running());
        click(w.form3.btnStop);
        QTRY_VERIFY_WITH_TIMEOUT(!w.form3.running(), 60000);
        QCOMPARE(snapshot(w.dir.path() + "/site"), before);
        QCOMPARE(w.form3.lblRunStatus->text(), QStringLiteral("中止しました"));
        QCOMPARE(w.dialogs.messages,
                 QStringList{QStringLiteral("完了しました")}); // the first run's
        QVERIFY(w.dialogs.errors.isEmpty());
        QVERIFY(w.form3.Button1->isEnabled());
        QVERIFY(!w.form3.btnStop->isEnabled());
        QVERIFY(w.form3.isVisible());
    }

    // "HTMLを開く" tells when the desktop's opener fails, without waiting for it.
    void openingThePageReportsAFailingOpener_data() {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<int>("patienceMs");
        QTest::addColumn<bool>("fails");
        QTest::newRow("succeeds") << QStringLiteral("true") << 10000 << false;
        QTest::newRow("exits with 1") << QStringLiteral("false") << 10000 << true;
        QTest::newRow("cannot start") << QStringLiteral("/nonexistent/opener") << 10000 << true;
        QTest::newRow("slow, then fails") << QStringLiteral("slow-failing") << 10000 << true;
        // Still running when patience ends: it started something, which counts.
        QTest::newRow("fails after the patience") << QStringLiteral("slow-failing") << 150 << false;
    }
    void openingThePageReportsAFailingOpener() {
        QFETCH(QString, opener);
        QFETCH(int, patienceMs);
        QFETCH(bool, fails);
        Windows w;
        std::string program = opener.toStdString();
        const bool slow = opener == QLatin1String("slow-failing");
        if (slow) {
            program = w.dir.write("slow-failing", "#!/bin/sh\nsleep 0.5\nexit 3\n");
            ::chmod(program.c_str(), 0755);
        }
        TXdgOpener xdg(program, patienceMs);
        TForm3 form3(w.form4, w.dir.file("Option.ini"), w.dialogs, xdg);
        form3.HTMLFileName = w.page();
        form3.SourceFiles.add(w.picture("a.jpg", 20, 20));
        form3.show();
        runAndWait(form3);
        // The window's event loop runs while the opener does.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        click(form3.btnShowHTML);
        QVERIFY(w.dialogs.errors.isEmpty());
        const QStringList want =
            fails ? QStringList{QStringLiteral("HTMLファイルを開けませんでした")} : QStringList{};
        QTRY_COMPARE_WITH_TIMEOUT(w.dialogs.errors, want, 5000);
        if (slow && fails)
            QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QTest::qWait(fails ? 0 : slow ? 800 : 300); // a success stays silent
        QCOMPARE(w.dialogs.errors, want);
    }

    void closingMidRunLeavesTheAlbumThatWasThere() {
        Windows w;
        w.start({w.picture("old.jpg", 40, 40)});
        runAndWait(w.form3);
        const auto before = snapshot(w.dir.path() + "/site");
        std::vector<std::string> pictures;
        for (int i = 0; i < 12; ++i)
            pictures.push_back(
                w.picture(std::string("p").append(std::to_string(i)).append(".jpg"), 900, 600));
        {
            TForm3 form3(w.form4, w.dir.file("Option.ini"), w.dialogs, w.opener);
            form3.HTMLFileName = w.page();
            for (const auto& p : pictures)
                form3.SourceFiles.add(p);
            form3.show();
            // Closed as soon as the first picture is reported, before the run's end
            // (which may have happened meanwhile on a fast machine) reaches the window.
            QSignalSpy progress(form3.stProgress, &QProgressBar::valueChanged);
            click(form3.Button1);
            QVERIFY(progress.wait(60000));
            QVERIFY(form3.running());
        } // the program closes
        QCOMPARE(snapshot(w.dir.path() + "/site"), before);
    }

    void settingsAreReadOnEveryShowing() {
        Windows w;
        w.dir.write("Option.ini", "[Large]\r\nHeader=Big\r\nPictureSizeMode=0\r\nVertical=480\r\n"
                                  "Horizonal=640\r\nConsecutive=0\r\n");
        w.start({w.picture("a.jpg", 10, 10)});
        QCOMPARE(rows(w.form3.ListView1),
                 (QStringList{QStringLiteral("ヘッダ文字=Big"), QStringLiteral("画像種類=Jpeg"),
                              QStringLiteral("クオリティ=255"), QStringLiteral("高さ=480ピクセル"),
                              QStringLiteral("幅=640ピクセル"),
                              QStringLiteral("ファイル名=元画像の名前を使用")}));
        QCOMPARE(rows(w.form3.ListView2),
                 (QStringList{QStringLiteral("ヘッダ文字=S"), QStringLiteral("画像種類=Jpeg"),
                              QStringLiteral("クオリティ=100"), QStringLiteral("倍率=30%"),
                              QStringLiteral("ファイル名=連番")}));
        runAndWait(w.form3);
        QVERIFY(w.form3.btnShowHTML->isEnabled());

        click(w.form3.Button4);
        QVERIFY(!w.form3.isVisible());
        w.dir.write("Option.ini", "[Small]\r\nFolder=thumbs\r\nRate=10\r\n");
        w.form3.HTMLFileName = w.dir.file("other/page.html");
        w.form3.show();
        QVERIFY(!w.form3.btnShowHTML->isEnabled());
        QCOMPARE(w.form3.lblSmallPicture->text(),
                 QString::fromStdString(w.dir.path() + "/other/thumbs/"));
        QVERIFY(rows(w.form3.ListView2).contains(QStringLiteral("倍率=10%")));

        // The scaling options show where they shape the picture, and only when on.
        click(w.form3.Button4);
        w.dir.write("Option.ini", "[Large]\r\nPictureSizeMode=0\r\nKeepAspect=1\r\nSmooth=1\r\n"
                                  "[Small]\r\nKeepAspect=1\r\n");
        w.form3.show();
        QCOMPARE(rows(w.form3.ListView1),
                 (QStringList{QStringLiteral("ヘッダ文字=L"), QStringLiteral("画像種類=Jpeg"),
                              QStringLiteral("クオリティ=255"), QStringLiteral("高さ=300ピクセル"),
                              QStringLiteral("幅=300ピクセル"), QStringLiteral("縦横比を保つ=はい"),
                              QStringLiteral("ファイル名=連番"),
                              QStringLiteral("なめらかに縮小する=はい")}));
        QCOMPARE(rows(w.form3.ListView2).size(), 5); // percent mode, not smoothed
    }

    void commentsWithoutOpeningTheEditorGiveNoCommentLines() {
        Windows w;
        w.start({w.picture("a.jpg", 20, 20)});
        w.form3.chkComment->setChecked(true);
        runAndWait(w.form3);
        const std::string page = readFile(w.page());
        QVERIFY(page.find("<BR>") == std::string::npos);
    }

    void editorKeepsCommentsAcrossOpenings() {
        Windows w;
        const std::string a = w.picture("a.jpg", 20, 20);
        const std::string b = w.picture("b.jpg", 20, 20);
        w.start({a, b});
        w.form3.btnCommentEditClick();
        clickRow(w.form4.ListView1, 1);
        QCOMPARE(w.form4.lblFileName->text(), QString::fromStdString(b));
        type(w.form4.txtComment, QStringLiteral("夕日"));
        click(w.form4.Button1);
        QVERIFY(!w.form4.isVisible());
        w.form3.btnCommentEditClick();
        QCOMPARE(w.form4.ListView1->topLevelItemCount(), 2);
        QCOMPARE(w.form4.ListView1->topLevelItem(1)->text(1), QStringLiteral("夕日"));
        QVERIFY(!w.form4.txtComment->isEnabled());
        QVERIFY(w.form4.lblFileName->text().isEmpty());
        QCOMPARE(w.form4.CommentOf(1), std::optional<std::string>("夕日"));
        QCOMPARE(w.form4.CommentOf(2), std::optional<std::string>());
    }

    void editorKeepsApartNamesThatDifferInUndecodableBytes() {
        Windows w;
        // Not UTF-8: the names differ only in bytes the code page cannot show.
        const std::string a = w.dir.write("pics/a\xFF.jpg", readFile(w.picture("x.jpg", 20, 20)));
        const std::string b = w.dir.write("pics/a\xFE.jpg", readFile(w.picture("y.jpg", 30, 20)));
        w.start({a, b});
        w.form3.btnCommentEditClick();
        QCOMPARE(w.form4.ListView1->topLevelItemCount(), 2);
        QCOMPARE(w.form4.ListView1->topLevelItem(0)->text(0),
                 QString::fromStdString(w.dir.path()) + QStringLiteral("/pics/a\\xFF.jpg"));
        clickRow(w.form4.ListView1, 1);
        QVERIFY(!w.form4.lblFileName->text().isEmpty()); // its picture was found and shown
        QCOMPARE(w.form4.imgPreview->picture().width(), 30);
        type(w.form4.txtComment, QStringLiteral("second"));
        QCOMPARE(w.form4.CommentOf(0), std::optional<std::string>(""));
        QCOMPARE(w.form4.CommentOf(1), std::optional<std::string>("second"));
        // Opening again adds no row for either.
        w.form3.btnCommentEditClick();
        QCOMPARE(w.form4.ListView1->topLevelItemCount(), 2);
    }

    void editorPreviewFailureIsSilent() {
        Windows w;
        const std::string good = w.picture("good.jpg", 20, 20);
        const std::string broken = w.dir.write("pics/broken.jpg", "not a picture at all");
        w.start({good, broken});
        w.form3.btnCommentEditClick();
        clickRow(w.form4.ListView1, 0);
        QVERIFY(!w.form4.imgPreview->picture().empty());
        clickRow(w.form4.ListView1, 1);
        QVERIFY(w.form4.lblFileName->text().isEmpty());
        QVERIFY(w.form4.txtComment->isEnabled());
        QVERIFY(!w.form4.imgPreview->picture().empty()); // keeps the last good picture
        QVERIFY(w.dialogs.errors.isEmpty());
        // What is typed now belongs to the row whose comment the memo shows.
        type(w.form4.txtComment, QStringLiteral("x"));
        QCOMPARE(w.form4.ListView1->topLevelItem(1)->text(1), QStringLiteral("x"));
        QCOMPARE(w.form4.ListView1->topLevelItem(0)->text(1), QString());
    }

    void mainWindowHandsOverAndComesBack() {
        BrowserWorld world; // the main window browses a temporary home, not the machine's
        Windows w;
        TAppWindows windows;
        windows.Form3 = &w.form3;
        windows.Form4 = &w.form4;
        TForm1 form1(windows, w.dialogs);
        form1.VelShListView1->SetColumnMemoryFile(world.memoryFile());
        windows.Form1 = &form1;
        ConnectWindows(windows);
        form1.show();
        const std::string a = w.picture("a.jpg", 20, 20);
        const std::string b = w.picture("b.bmp", 20, 20);
        for (const std::string& file : {a, b, a})
            form1.AddFile(file);
        QCOMPARE(form1.Collected().Count(), 2);
        form1.Timer1Timer();
        QVERIFY(form1.btnCreate->isEnabled());
        w.form4.OpenWith(TStringList()); // an old list of comments
        new QTreeWidgetItem(w.form4.ListView1, {QStringLiteral("/old.jpg"), QStringLiteral("old")});
        w.dialogs.saveAnswer = QString::fromStdString(w.page());
        click(form1.btnCreate);
        QVERIFY(w.form3.isVisible());
        QVERIFY(!form1.isVisible());
        QCOMPARE(w.form3.HTMLFileName, w.page());
        QCOMPARE(w.form3.SourceFiles.items(), (std::vector<std::string>{a, b}));
        QCOMPARE(w.form4.ListView1->topLevelItemCount(), 0);
        click(w.form3.Button4);
        QVERIFY(form1.isVisible());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"

// The page options in the windows: "1ページの枚数" and "読めない画像は飛ばす" in the
// options dialog, the skip check box in the generation window, and what a run
// with and without skipping tells the user.
#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/startup.h"
#include "settings/ui/option_dialog.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "ui/spin_edit.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>

using namespace kelvora;
using namespace kelvora::test;

class TestWindowsPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerPictureFormats(32); }

    void optionsDialogKeepsThePageOptionsAfterTheOthers() {
        TempDir dir;
        FakeDialogs dialogs;
        QWidget main;
        TfrmOption form(dir.file("Option.ini"), dialogs, &main);
        form.show();
        QCOMPARE(form.spnPerPage->Value(), 0);
        QVERIFY(!form.chkSkipUnreadable->isChecked());
        form.spnPerPage->setValue(12);
        form.chkSkipUnreadable->setChecked(true);
        form.Button2Click();
        const std::string saved = readFile(dir.file("Option.ini"));
        const std::string page = "KeepAspect=0\r\n[Page]\r\nPerPage=12\r\nSkipUnreadable=1\r\n";
        QVERIFY2(saved.size() > page.size() &&
                     saved.compare(saved.size() - page.size(), page.size(), page) == 0,
                 saved.c_str());
        form.show();
        QCOMPARE(form.spnPerPage->Value(), 12);
        QVERIFY(form.chkSkipUnreadable->isChecked());
    }

    void generationWindowSkipsOrNamesTheUnreadablePicture() {
        TempDir dir;
        FakeDialogs dialogs;
        FakeOpener opener;
        TForm4 form4;
        TForm3 form3{form4, dir.file("Option.ini"), dialogs, opener};
        dir.write("Option.ini", "[Page]\r\nPerPage=1\r\nSkipUnreadable=1\r\n");
        const std::string broken = dir.write("pics/broken.jpg", "not a picture");
        form3.HTMLFileName = dir.file("site/album.html");
        form3.SourceFiles.add(saveImage(patternImage(40, 30), dir.file("pics/a.bmp"), "bmp"));
        form3.SourceFiles.add(broken);
        form3.SourceFiles.add(saveImage(patternImage(30, 40), dir.file("pics/c.bmp"), "bmp"));
        form3.show();
        QVERIFY(form3.chkSkipUnreadable->isChecked()); // as Option.ini says

        QTest::mouseClick(form3.Button1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form3.running(), 60000);
        QCOMPARE(dialogs.errors, QStringList());
        QCOMPARE(dialogs.messages.size(), 1);
        const QString done = dialogs.messages.front();
        QVERIFY2(
            done.startsWith(QStringLiteral("完了しました\n読めない画像 1 枚を飛ばしました:\n") +
                            QString::fromStdString(broken) + QStringLiteral(": ")),
            qPrintable(done));
        QVERIFY(fileExists(dir.file("site/album_2.html")));
        QVERIFY(!fileExists(dir.file("site/album_3.html")));

        // Unchecked, the picture stops the run, and the message names it. (No record
        // of the earlier run here: its second page would stop the run as the user's.)
        std::filesystem::remove(dir.file("site/album_2.html"));
        form3.chkSkipUnreadable->setChecked(false);
        QTest::mouseClick(form3.Button1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form3.running(), 60000);
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY2(dialogs.errors.front().startsWith(QString::fromStdString(broken) +
                                                   QStringLiteral(": ")),
                 qPrintable(dialogs.errors.front()));
    }
};

QTEST_MAIN(TestWindowsPages)
#include "tst_windows_pages.moc"

// The windows of file operations and the notification threads' error handler,
// headless, answered in the user's place.
#include "shell/items/file_types.h"
#include "shell/notify/notify_thread.h"
#include "shell/dialogs/conflict_dialog.h"
#include "shell/dialogs/notify_error_handler.h"
#include "shell/dialogs/operation_dialogs.h"
#include "shell/dialogs/operation_progress.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_dir.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

using namespace kelvora;

Q_DECLARE_METATYPE(kelvora::TShConflictAnswer::Choice)

class TestShellDialogs : public QObject {
    Q_OBJECT
private slots:
    void ConflictDialogGivesTheButtonsAnswer_data();
    void ConflictDialogGivesTheButtonsAnswer();
    void ConflictDialogNeverOffersToReplaceAnotherKind();
    void ProgressCancelStopsTheOperation();
    void FailuresAreShownAsOneMessage();
    void NotificationErrorsReachTheUser();
};

namespace {

TShConflict fileConflict() {
    TShConflict c;
    c.source = "/src/写真.jpg";
    c.target = "/dst/写真.jpg";
    c.sourceSize = 2048;
    c.targetSize = 1;
    c.sourceTime = c.targetTime = 981173100LL * 1000000000;
    return c;
}

} // namespace

void TestShellDialogs::ConflictDialogGivesTheButtonsAnswer_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("forAll");
    QTest::addColumn<TShConflictAnswer::Choice>("choice");
    QTest::newRow("overwrite") << "btnOverwrite" << false << TShConflictAnswer::Overwrite;
    QTest::newRow("skip for all") << "btnSkip" << true << TShConflictAnswer::Skip;
    QTest::newRow("number") << "btnRename" << false << TShConflictAnswer::RenameWithNumber;
    QTest::newRow("cancel ignores for all") << "btnCancel" << true << TShConflictAnswer::Cancel;
}

void TestShellDialogs::ConflictDialogGivesTheButtonsAnswer() {
    QFETCH(QString, button);
    QFETCH(bool, forAll);
    QFETCH(TShConflictAnswer::Choice, choice);
    TShConflictDialog dialog(fileConflict());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("確認"));
    QVERIFY(dialog.lblMessage->text().contains(QStringLiteral("「写真.jpg」")));
    QCOMPARE(dialog.lblIncoming->text(),
             QStringLiteral("新しい項目: 2KB、更新日時 %1")
                 .arg(QString::fromStdString(ShDateText(981173100LL * 1000000000))));
    QVERIFY(dialog.btnRename->isDefault());
    dialog.chkApplyToAll->setChecked(forAll);
    QPushButton* pressed = button == QLatin1String("btnOverwrite") ? dialog.btnOverwrite
                           : button == QLatin1String("btnSkip")    ? dialog.btnSkip
                           : button == QLatin1String("btnRename")  ? dialog.btnRename
                                                                   : dialog.btnCancel;
    QTest::mouseClick(pressed, Qt::LeftButton);
    QCOMPARE(dialog.Answer().choice, choice);
    QCOMPARE(dialog.Answer().applyToAll, forAll && choice != TShConflictAnswer::Cancel);
}

void TestShellDialogs::ConflictDialogNeverOffersToReplaceAnotherKind() {
    TShConflict c = fileConflict();
    c.targetIsFolder = true;
    TShConflictDialog dialog(c);
    QVERIFY(!dialog.btnOverwrite->isEnabled());
    c.sourceIsFolder = true;
    TShConflictDialog folders(c);
    QVERIFY(folders.btnOverwrite->isEnabled());
    QVERIFY(folders.lblMessage->text().contains(QStringLiteral("内容がまとめられます")));
    // Closed without a button: nothing is decided but to stop.
    folders.reject();
    QCOMPARE(folders.Answer().choice, TShConflictAnswer::Cancel);
}

void TestShellDialogs::ProgressCancelStopsTheOperation() {
    test::TempDir tmp;
    const std::string source = tmp.write("a.bin", std::string(100000, 'a'));
    std::filesystem::create_directory(tmp.file("out"));
    TShFileOperation operation({TShFileOp::Copy, {source}, tmp.file("out")}, nullptr);
    QPointer<TShOperationProgress> progress = new TShOperationProgress(operation);
    QCOMPARE(progress->labelText(), QStringLiteral("コピーしています..."));
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(progress->labelText(), QStringLiteral("キャンセルしています..."));

    QSignalSpy finished(&operation, &TShFileOperation::finished);
    operation.Start();
    QVERIFY(finished.wait(30000));
    QVERIFY(operation.Result().cancelled);
    QVERIFY(!test::fileExists(tmp.file("out/a.bin")));
    QTRY_VERIFY(progress.isNull()); // closed and gone with the operation's end
}

void TestShellDialogs::FailuresAreShownAsOneMessage() {
    test::FakeDialogs dialogs;
    TShOperationDialogs ui(dialogs);
    TShOperationResult result;
    QCOMPARE(TShOperationDialogs::ErrorText(result), QString());
    for (int i = 0; i < 25; ++i)
        result.errors << QStringLiteral("line %1").arg(i);
    const QStringList lines = TShOperationDialogs::ErrorText(result).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), TShOperationDialogs::kMaxErrorLines + 1);
    QCOMPARE(lines.last(), QStringLiteral("ほか 5 件のエラーがあります。"));

    // A real operation that fails: its message reaches the user once.
    TShFileOperation operation({TShFileOp::Copy, {"/no/such/file"}, "/tmp"}, nullptr);
    QSignalSpy finished(&operation, &TShFileOperation::finished);
    QObject::connect(&operation, &TShFileOperation::finished,
                     [&] { ui.OperationFinished(operation); });
    operation.Start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(dialogs.errors,
             QStringList{QStringLiteral("「file」をコピーできません: 見つかりません。")});
}

void TestShellDialogs::NotificationErrorsReachTheUser() {
    test::TempDir tmp;
    std::vector<std::string> folders;
    for (int i = 0; i < 63; ++i)
        folders.push_back(tmp.file(std::string("f").append(std::to_string(i))));
    for (const std::string& f : folders)
        std::filesystem::create_directory(f);
    test::FakeDialogs dialogs;
    QWidget window;
    ShInstallNotifyErrorHandler(dialogs, &window);

    // The owner's callback adds a folder to a full list, as a list that watches
    // every folder it shows would.
    TShNotifyThread* thread = nullptr;
    TShNotifyThread owned(kNotifyFileName, true,
                          [&](TShNotifyThread*, const std::string&,
                              const std::vector<std::string>&) { thread->AddFolder(folders[62]); });
    thread = &owned;
    owned.SetFolders(std::vector<std::string>(folders.begin(), folders.begin() + 61));
    owned.AddFolder(folders[61]);
    owned.resume();
    owned.WaitReady();
    std::ofstream(folders[0] + "/new") << "x";
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.errors.size(), 1, 15000);
    QCOMPARE(dialogs.errors[0], QStringLiteral("監視するフォルダ数が上限を超えています。"));
    owned.Stop();
    ShRemoveNotifyErrorHandler();
}

QTEST_MAIN(TestShellDialogs)
#include "tst_shell_dialogs.moc"

// The options dialog driven through its controls, over a real Option.ini.
#include "settings/ui/option_dialog.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_dir.h"
#include "ui/spin_edit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// The page's options the dialog writes after the eighteen keys and the scaling
// options, as it starts.
const std::string kPageSaved = "[Page]\r\nPerPage=0\r\nSkipUnreadable=0\r\n";

// Option.ini as the dialog writes it into a new file: the eighteen keys in their
// fixed order, then the keys added later, each appended to its section.
std::string optionFile(const std::vector<std::string>& large,
                       const std::vector<std::string>& small) {
    static const char* keys[] = {"Header",          "Folder", "PictureType", "Quality",
                                 "PictureSizeMode", "Rate",   "Vertical",    "Horizonal",
                                 "Consecutive",     "Smooth", "KeepAspect"};
    std::string out;
    for (const auto& [section, values] : {std::pair{"Large", large}, std::pair{"Small", small}}) {
        out += std::string("[") + section + "]\r\n";
        for (std::size_t i = 0; i < std::size(keys); ++i)
            out += std::string(keys[i]) + "=" + values[i] + "\r\n";
    }
    return out + kPageSaved;
}

const std::vector<std::string> kLargeSaved = {"L",   "large", "Jpeg", "100", "1", "50",
                                              "300", "300",   "1",    "0",   "0"};
const std::vector<std::string> kSmallSaved = {"S",   "Small", "Jpeg", "100", "1", "30",
                                              "100", "100",   "1",    "0",   "0"};

// The dialog, its main window and its option file, as the program creates them.
struct Dialog {
    TempDir dir;
    FakeDialogs dialogs;
    QWidget main;
    TfrmOption form{dir.file("Option.ini"), dialogs, &main};

    Dialog() { main.show(); }
    std::string saved() const { return readFile(dir.file("Option.ini")); }
};

void retype(QWidget* box, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(box))
        edit->selectAll();
    else
        static_cast<QAbstractSpinBox*>(box)->selectAll();
    QTest::keyClicks(box, text);
}

// A click on the round indicator (the button is wider than its text).
void clickRadio(QRadioButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

} // namespace

class TestOptionDialog : public QObject {
    Q_OBJECT
private slots:
    void showsTheDefaultsWithoutAFile() {
        Dialog d;
        d.form.show();
        const QStringList shown = {d.form.Edit1->text(),
                                   d.form.Edit2->text(),
                                   d.form.ComboBox1->currentText(),
                                   QString::number(d.form.SpinEdit1->Value()),
                                   QString::number(d.form.SpinEdit2->Value()),
                                   d.form.Edit3->text(),
                                   d.form.Edit4->text(),
                                   d.form.Edit5->text(),
                                   d.form.Edit6->text(),
                                   d.form.ComboBox2->currentText(),
                                   QString::number(d.form.SpinEdit4->Value()),
                                   QString::number(d.form.SpinEdit3->Value()),
                                   d.form.Edit7->text(),
                                   d.form.Edit8->text()};
        QCOMPARE(shown, QStringList({"L", "large", "Jpeg", "100", "50", "300", "300", "S", "Small",
                                     "Jpeg", "100", "30", "100", "100"}));
        for (auto* checked : {d.form.RadioButton1, d.form.RadioButton3})
            QVERIFY(checked->isChecked());
        QVERIFY(d.form.CheckBox1->isChecked() && d.form.CheckBox2->isChecked());
        QCOMPARE(
            d.form.Label3->text(),
            QStringLiteral("最大高画質（最低圧縮）は[100]、\n最大高圧縮（最低画質）は[1]です。"));
        QCOMPARE(d.form.Label13->text(), d.form.Label3->text());
        QVERIFY(!fileExists(d.dir.file("Option.ini")));
    }

    void savesTheEighteenKeysInOrder_data() {
        QTest::addColumn<QString>("typedQuality");
        QTest::addColumn<QString>("savedQuality");
        QTest::newRow("unchanged: 255 shows and saves as 100") << QString() << "100";
        QTest::newRow("150 saves 100") << "150"
                                       << "100";
        QTest::newRow("0 saves 1") << "0"
                                   << "1";
        QTest::newRow("not a number saves the minimum") << "-"
                                                        << "1";
        QTest::newRow("in range") << "85"
                                  << "85";
    }
    void savesTheEighteenKeysInOrder() {
        QFETCH(QString, typedQuality);
        QFETCH(QString, savedQuality);
        Dialog d;
        d.form.show();
        if (!typedQuality.isEmpty())
            retype(d.form.SpinEdit1, typedQuality);
        QTest::mouseClick(d.form.Button2, Qt::LeftButton);
        QVERIFY(!d.form.isVisible());
        std::vector<std::string> large = kLargeSaved;
        large[3] = savedQuality.toStdString();
        QCOMPARE(d.saved(), optionFile(large, kSmallSaved));
        QVERIFY(d.dialogs.errors.isEmpty());
    }

    void savesWhatTheControlsHold() {
        Dialog d;
        d.dir.write("Option.ini", "[large]\r\nheader=X\r\nPictureType=Png\r\nQuality=0x20\r\n"
                                  "PictureSizeMode=0\r\nVertical=12a\r\n[Small]\r\nRate=abc\r\n");
        d.form.show();
        QCOMPARE(d.form.ComboBox1->currentText(), QStringLiteral("Png"));
        QCOMPARE(d.form.SpinEdit1->Value(), 32);
        QVERIFY(d.form.RadioButton2->isChecked());
        QCOMPARE(d.form.Edit3->text(), QStringLiteral("12a"));
        QCOMPARE(d.form.SpinEdit3->Value(), 30);
        // The crossed pair of the lower box: SpinEdit3 is the percent, SpinEdit4 the quality.
        retype(d.form.SpinEdit3, "7");
        retype(d.form.SpinEdit4, "60");
        d.form.Edit4->clear(); // an empty pixel box is written empty
        d.form.CheckBox2->setChecked(false);
        d.form.ComboBox2->setCurrentIndex(1);
        d.form.RadioButton4->setChecked(true);
        d.form.Button2Click();
        QCOMPARE(readFile(d.dir.file("Option.ini")),
                 "[large]\r\nheader=X\r\nPictureType=Png\r\nQuality=32\r\nPictureSizeMode=0\r\n"
                 "Vertical=12a\r\nFolder=large\r\nRate=50\r\nHorizonal=\r\nConsecutive=1\r\n"
                 "Smooth=0\r\nKeepAspect=0\r\n"
                 "[Small]\r\nRate=7\r\nHeader=S\r\nFolder=Small\r\nPictureType=Png\r\n"
                 "Quality=60\r\nPictureSizeMode=0\r\nVertical=100\r\nHorizonal=100\r\n"
                 "Consecutive=0\r\nSmooth=0\r\nKeepAspect=0\r\n" +
                     kPageSaved);
        // The next showing reads the empty box back as empty, not as the default.
        d.form.show();
        QCOMPARE(d.form.Edit4->text(), QString());
    }

    void scalingOptionsAreReadAndSavedPerSection() {
        Dialog d;
        d.dir.write("Option.ini", "[Large]\r\nSmooth=1\r\n[Small]\r\nKeepAspect=1\r\n");
        d.form.show();
        QVERIFY(d.form.CheckBox3->isChecked() && !d.form.CheckBox4->isChecked());
        QVERIFY(!d.form.CheckBox5->isChecked() && d.form.CheckBox6->isChecked());
        d.form.CheckBox3->setChecked(false);
        d.form.CheckBox4->setChecked(true);
        d.form.CheckBox5->setChecked(true);
        d.form.Button2Click();
        const TIniFile ini(d.dir.file("Option.ini"));
        QVERIFY(!ini.ReadBool("Large", "Smooth", true) &&
                ini.ReadBool("Large", "KeepAspect", false));
        QVERIFY(ini.ReadBool("Small", "Smooth", false) &&
                ini.ReadBool("Small", "KeepAspect", false));
    }

    void unknownPictureTypeShowsWhatTheRunMakes_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Png") << "Png"
                             << "Png";
        QTest::newRow("case differs") << "png"
                                      << "Jpeg";
        QTest::newRow("other") << "Gif"
                               << "Jpeg";
    }
    void unknownPictureTypeShowsWhatTheRunMakes() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Dialog d;
        d.dir.write("Option.ini", "[Small]\r\nPictureType=" + stored.toStdString() + "\r\n");
        d.form.ComboBox2->setCurrentIndex(1);
        d.form.show();
        QCOMPARE(d.form.ComboBox2->currentText(), shown);
    }

    void cancelAsksAndKeepsOrDropsTheEdits() {
        Dialog d;
        d.form.show();
        retype(d.form.Edit1, "edited");
        d.dialogs.yesNoAnswers = {false};
        QTest::mouseClick(d.form.Button1, Qt::LeftButton);
        QCOMPARE(d.dialogs.questions,
                 QStringList{"情報|保存せずに前画面に戻ります。\nよろしいですか？"});
        QVERIFY(d.form.isVisible());
        QCOMPARE(d.form.Edit1->text(), QStringLiteral("edited"));
        QVERIFY(!d.main.isEnabled());

        d.dialogs.yesNoAnswers = {true};
        QTest::mouseClick(d.form.Button1, Qt::LeftButton);
        QVERIFY(!d.form.isVisible());
        QVERIFY(d.main.isEnabled());
        QVERIFY(!fileExists(d.dir.file("Option.ini")));
        QCOMPARE(d.form.Edit1->text(), QStringLiteral("edited")); // until the next showing
        d.form.show();
        QCOMPARE(d.form.Edit1->text(), QStringLiteral("L"));
    }

    void mainWindowIsDisabledWhileShownAndOnlyTheButtonsLeave() {
        Dialog d;
        QVERIFY(d.main.isEnabled());
        d.form.show();
        QVERIFY(!d.main.isEnabled());
        QVERIFY(d.form.OptionFile());
        QVERIFY(!d.form.close()); // the close button, Alt+F4, the window manager
        QVERIFY(d.form.isVisible());
        QVERIFY(!(d.form.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                          Qt::WindowMaximizeButtonHint)));
        QTest::mouseClick(d.form.Button2, Qt::LeftButton);
        QVERIFY(!d.form.isVisible());
        QVERIFY(d.main.isEnabled());
        QVERIFY(!d.form.OptionFile());
    }

    void refusedWriteIsShownAndTheDialogStays() {
        TempDir dir;
        FakeDialogs dialogs;
        QWidget main;
        const std::string path = dir.file("missing/Option.ini");
        TfrmOption form(path, dialogs, &main);
        form.show();
        form.Button2Click();
        QCOMPARE(dialogs.errors, QStringList{QString::fromStdString(path) + " に書き込めません"});
        QVERIFY(form.isVisible());
        QVERIFY(form.OptionFile());
        QVERIFY(!main.isEnabled());
    }

    void pixelBoxesTakeDigitsOnly() {
        Dialog d;
        d.form.show();
        for (QLineEdit* box : {d.form.Edit3, d.form.Edit4, d.form.Edit7, d.form.Edit8}) {
            box->setText(QStringLiteral("5"));
            box->end(false);
            QTest::keyClicks(box, QStringLiteral("1a-+.2 "));
            QKeyEvent wideDigit(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, "３");
            QApplication::sendEvent(box, &wideDigit);
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(box->text(), QStringLiteral("512"));
            QTest::keyClick(box, Qt::Key_Home); // keys without a character still work
            // Delete as X11 sends it, with the text "\x7f".
            QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
            QApplication::sendEvent(box, &del);
            QTest::keyClicks(box, QStringLiteral("0123456789"));
            QCOMPARE(box->text(), QStringLiteral("012345678912"));
            // What an input method commits keeps only its digits.
            QInputMethodEvent committed;
            committed.setCommitString(QStringLiteral("3x４5"));
            QApplication::sendEvent(box, &committed);
            QCOMPARE(box->text(), QStringLiteral("01234567893512"));
        }
        // Other boxes are not filtered.
        QTest::keyClicks(d.form.Edit1, QStringLiteral("a-"));
        QVERIFY(d.form.Edit1->text().endsWith(QStringLiteral("a-")));
    }

    void sizeModeEnablesItsInputsWithin100ms() {
        Dialog d;
        d.form.show();
        clickRadio(d.form.RadioButton2);
        clickRadio(d.form.RadioButton4);
        QTRY_VERIFY(!d.form.SpinEdit2->isEnabled() && !d.form.SpinEdit3->isEnabled());
        for (QWidget* w :
             std::initializer_list<QWidget*>{d.form.Edit3, d.form.Edit4, d.form.Edit7, d.form.Edit8,
                                             d.form.SpinEdit1, d.form.SpinEdit4})
            QVERIFY(w->isEnabled());
        QVERIFY(d.form.CheckBox4->isEnabled() && d.form.CheckBox6->isEnabled());
        clickRadio(d.form.RadioButton1);
        QTRY_VERIFY(d.form.SpinEdit2->isEnabled());
        QVERIFY(!d.form.Edit3->isEnabled() && !d.form.Edit4->isEnabled());
        QVERIFY(!d.form.SpinEdit3->isEnabled() && d.form.Edit7->isEnabled());
        // Keeping proportions is a matter of pixel mode; smoothing of both modes.
        QVERIFY(!d.form.CheckBox4->isEnabled() && d.form.CheckBox6->isEnabled());
        QVERIFY(d.form.CheckBox3->isEnabled() && d.form.CheckBox5->isEnabled());
    }

    void spinEditsClampWhenLeft_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shownAfterLeaving");
        QTest::newRow("above") << "250" << 200 << "200";
        QTest::newRow("below") << "0" << 1 << "1";
        QTest::newRow("sign") << "+7" << 7 << "7";
        QTest::newRow("negative") << "-5" << 1 << "1";
        QTest::newRow("decimal") << "1.5" << 1 << "1";
        QTest::newRow("letters are refused") << "1x2" << 12 << "12";
        QTest::newRow("three characters at most") << "1234" << 123 << "123";
    }
    void spinEditsClampWhenLeft() {
        QFETCH(QString, typed);
        QFETCH(int, value);
        QFETCH(QString, shownAfterLeaving);
        QWidget window;
        auto* rate = new TSpinEdit(1, 200, 50, 3, &window);
        auto* next = new QLineEdit(&window);
        next->move(0, 40);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        rate->setFocus();
        retype(rate, typed);
        QCOMPARE(rate->Value(), value); // read as it stands, before leaving
        next->setFocus();
        QCOMPARE(rate->text(), shownAfterLeaving);
        QCOMPARE(rate->value(), value);
        rate->stepUp();
        QCOMPARE(rate->value(), std::min(value + 1, 200));
    }
};

QTEST_MAIN(TestOptionDialog)
#include "tst_option_dialog.moc"

// The about box, the splash and the link label, driven headless.
#include "app/splash.h"
#include "app/version_window.h"
#include "tests/support/fake_dialogs.h"
#include "ui/translation.h"
#include "ui/url_link.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

using namespace kelvora;
using namespace kelvora::test;

namespace {

const QString kDisclaimer = QStringLiteral("このソフトウェアの使用に関して、直接的または\n"
                                           "間接的に生じる一切の損害当について、\n"
                                           "作者は如何なる責任も負いません。\n"
                                           "このことは、このソフトウェアの使用をもって\n"
                                           "同意されたものと見なします。");

void enter(QWidget* w) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &event);
}

void leave(QWidget* w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(w, &event);
}

} // namespace

class TestAboutBox : public QObject {
    Q_OBJECT
private slots:
    void showsTheVersionInformation_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("label1");
        QTest::addColumn<QString>("label2");
        QTest::addColumn<QString>("label4");
        QTest::addColumn<QString>("link1");
        const QString link1 = QStringLiteral("Kelvora ホームページ\nhttps://kelvora.example.org/");
        QTest::newRow("the program") << KELVORA_PROGRAM << "Kelvora"
                                     << "Version: 4.0.0 PreRelease" << kDisclaimer << link1;
        QTest::newRow("no information") << KELVORA_FIXTURE_PLAIN << ""
                                        << "Version: " << kDisclaimer << link1;
        // The failure ends the filling at the product name; the rest keep their design captions.
        QTest::newRow("no translation") << KELVORA_FIXTURE_NO_TRANSLATION << "Label1"
                                        << "Label2"
                                        << "Label4"
                                        << "URLLink1";
    }
    void showsTheVersionInformation() {
        QFETCH(QString, executable);
        QFETCH(QString, label1);
        QFETCH(QString, label2);
        QFETCH(QString, label4);
        QFETCH(QString, link1);
        TfrmSplash splash;
        FakeOpener opener;
        TfrmVersion box(splash, opener, nullptr, executable.toStdString());
        QCOMPARE(box.Label1->text(), label1);
        QCOMPARE(box.Label2->text(), label2);
        QCOMPARE(box.Label4->text(), label4);
        QCOMPARE(box.URLLink1->text(), link1);
        QCOMPARE(box.Label5->text(), QStringLiteral("Brenwick"));
        QCOMPARE(box.URLLink2->text(), QStringLiteral("kelvora@example.org"));
        QVERIFY(!box.Image1->pixmap().isNull()); // copied before the failing step
        QCOMPARE(box.size(), QSize(407, 444));
    }

    void disablesTheMainWindowWhileShown() {
        TfrmSplash splash;
        FakeOpener opener;
        QWidget main;
        main.show();
        TfrmVersion box(splash, opener, &main, KELVORA_PROGRAM);
        for (const auto& closeIt :
             {std::function<void()>([&] { QVERIFY(box.close()); }),
              std::function<void()>([&] { QTest::keyClick(&box, Qt::Key_Escape); })}) {
            box.show();
            QVERIFY(!main.isEnabled());
            closeIt();
            QVERIFY(!box.isVisible());
            QVERIFY(main.isEnabled());
        }
        QVERIFY(box.windowFlags() & Qt::WindowCloseButtonHint);
    }

    void linksOpenWithTheLeftButtonOnly() {
        TfrmSplash splash;
        FakeOpener opener;
        TfrmVersion box(splash, opener, nullptr, KELVORA_PROGRAM);
        box.show();
        QTest::mouseClick(box.URLLink2, Qt::RightButton);
        QVERIFY(opener.opened.empty());
        QTest::mouseClick(box.URLLink2, Qt::LeftButton);
        QTest::mouseClick(box.URLLink1, Qt::LeftButton);
        QCOMPARE(opener.opened, (std::vector<std::string>{"mailto:kelvora@example.org",
                                                          "https://kelvora.example.org/"}));
        for (TURLLink* link : {box.URLLink1, box.URLLink2}) {
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
            enter(link);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::red));
            QTest::mouseMove(link, QPoint(5, 5));
            QVERIFY(!link->HintWindow()); // the about box's links show no hint
            leave(link);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        }
    }

    void linkHintFollowsTheMouse() {
        FakeOpener opener;
        QWidget window;
        TURLLink link(opener, &window);
        link.setText(QStringLiteral("Kelvora"));
        window.show();
        QCOMPARE(link.Link, QStringLiteral("http://"));
        QCOMPARE(link.palette().color(QPalette::WindowText), QColor(Qt::blue));
        enter(&link);
        QTest::mouseMove(&link, QPoint(3, 4));
        QWidget* hint = link.HintWindow();
        QVERIFY(hint);
        const QFontMetrics metrics(link.HintFormFont);
        QCOMPARE(hint->size(),
                 QSize(metrics.horizontalAdvance(link.Link) + 6, metrics.height() + 3));
        QCOMPARE(hint->pos(), link.mapToGlobal(QPoint(3 + 15, 4 + 15)));
        QVERIFY(hint->windowFlags() & Qt::WindowStaysOnTopHint);
        leave(&link);
        QVERIFY(!link.HintWindow());
        QCOMPARE(link.palette().color(QPalette::WindowText), QColor(Qt::blue));
    }

    void qtsOwnTextsAreJapaneseInAnyLocale() {
        // The test runs under LC_ALL=C.UTF-8.
        QVERIFY(installJapaneseTranslation(*qApp));
        const QString overwrite = QCoreApplication::translate(
            "QFileDialog", "%1 already exists.\nDo you want to replace it?");
        QCOMPARE(overwrite.arg("a.html"),
                 QStringLiteral("a.html は既に存在します。\n置き換えますか?"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "File &name:"),
                 QStringLiteral("ファイル名(&N):"));
        QCOMPARE(QCoreApplication::translate("QColorDialog", "&Basic colors"),
                 QStringLiteral("基本カラー(&B)"));
        QCOMPARE(QLocale().language(), QLocale::Japanese);
    }

    void splashShowsThePictureOnGrey() {
        TfrmSplash splash;
        QCOMPARE(splash.size(), QSize(400, 250));
        QCOMPARE(splash.Picture().format(), QImage::Format_RGB888);
        QCOMPARE(splash.Label1->text(), QStringLiteral("NowLoading..."));
        QVERIFY(splash.Label1->font().bold());
        QCOMPARE(splash.Label1->font().pixelSize(), 16);
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        const QImage shown = splash.grab().toImage();
        // The picture's transparent colour (its bottom-left pixel) lets the grey through.
        const QColor key = splash.Picture().pixelColor(0, 249);
        QVERIFY(key != QColor(kBackgroundGrey));
        QCOMPARE(shown.pixelColor(0, 0), QColor(kBackgroundGrey));
        QCOMPARE(shown.pixelColor(200, 20), splash.Picture().pixelColor(200, 20));
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_about_box.moc"

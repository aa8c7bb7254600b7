// The plug-in list window, alone and opened from the main window, and an album
// of plug-in formats made through the windows.
#include "album/ui/comment_editor.h"
#include "album/ui/generation_window.h"
#include "app/app_windows.h"
#include "app/main_window.h"
#include "spi/ui/plugin_list_window.h"
#include "tests/shell/browser_world.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/browser.h"
#include "tests/support/fake_dialogs.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace kelvora;
using namespace kelvora::test;

namespace {

QStringList rowTexts(QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

QList<int> columnWidths(QTreeWidget* list) {
    QList<int> out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->columnWidth(c);
    return out;
}

} // namespace

class TestSpiWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useBuiltDecoder(); }

    void listShowsEveryLoadedPluginOnShow() {
        TempDir dir;
        const char* plugins[] = {"p1",      "noabout", "multi",    "halfpair",
                                 "archive", "xn",      "crashinfo"};
        int i = 0;
        for (const char* name : plugins)
            copyPlugin(testPlugin(name), dir, std::to_string(++i) + name + ".spi");
        ManagerScope m;
        TForm2 form2(&m.spis);
        QCOMPARE(form2.windowTitle(), QStringLiteral("読み込まれているSusie PlugIn一覧"));
        form2.show();
        QCOMPARE(form2.ListView1->headerItem()->text(0), QStringLiteral("Name"));
        QCOMPARE(form2.ListView1->columnCount(), 4);
        QCOMPARE(rowTexts(form2.ListView1), QStringList()); // nothing loaded yet
        form2.hide();

        m.search(dir.path() + "/*.spi");
        form2.show();
        const QString d = QString::fromStdString(dir.path()) + QLatin1Char('/');
        QCOMPARE(rowTexts(form2.ListView1),
                 (QStringList{d + "1p1.spi|P1 test|*.pic|Pic", d + "2noabout.spi||*.na|NA",
                              d + "3multi.spi|Multi|*.pic;*.pi2|Pi", d + "4halfpair.spi|Half||",
                              d + "5archive.spi|Archive|*.arc|Arc", d + "6xn.spi|XN||",
                              d + "7crashinfo.spi|応答しないため読み込みませんでした||"}));
        QCOMPARE(columnWidths(form2.ListView1), (QList<int>{174, 174, 174, 174}));

        // Rows and widths are set again only when the window turns visible.
        form2.resize(800, 480);
        form2.show();
        QCOMPARE(columnWidths(form2.ListView1), (QList<int>{174, 174, 174, 174}));
        form2.close(); // closing only hides
        QVERIFY(!form2.isVisible());
        m.spis.Delete(0);
        form2.show();
        const int quarter = form2.frameGeometry().width() / 4;
        QVERIFY(quarter >= 200);
        QCOMPARE(columnWidths(form2.ListView1), (QList<int>{quarter, quarter, quarter, quarter}));
        QCOMPARE(form2.ListView1->topLevelItemCount(), 6);
    }

    void mainWindowLoadsPluginsListsThemAndMakesAlbumsOfTheirFormats() {
        TempDir dir;
        const std::vector<FormatPicture> pictures = makeFormatPictures(dir, 64, 48);
        if (pictures.empty())
            QSKIP("ImageMagick, heif-enc or avifenc is missing (scripts/setup.sh --test)");
        // The main window browses a temporary home, not the machine's.
        BrowserWorld world;
        // The shipped plug-ins reached through Susie's folder.
        world.makeFile(world.home() + "/.config/Morvash/Susie.conf",
                       "[Plug-in]\nPath=" + shippedPluginFolder() + "\n");
        FakeDialogs dialogs;
        FakeOpener opener;
        TForm4 form4;
        TForm3 form3(form4, dir.file("Option.ini"), dialogs, opener);
        {
            TAppWindows windows;
            windows.Form3 = &form3;
            windows.Form4 = &form4;
            TForm1 form1(windows, dialogs);
            form1.VelShListView1->SetColumnMemoryFile(world.memoryFile());
            windows.Form1 = &form1;
            QCOMPARE(form1.SPIs1->Count(), 6);
            TForm2 form2(form1.SPIs1);
            windows.Form2 = &form2;
            form1.show();
            QVERIFY(!form2.isVisible());
            form1.TB_Susie->trigger();
            QVERIFY(form2.isVisible());
            QCOMPARE(form2.ListView1->topLevelItemCount(), 6);
            QStringList exts;
            for (int i = 0; i < 6; ++i)
                exts << form2.ListView1->topLevelItem(i)->text(2);
            QCOMPARE(exts, (QStringList{"*.avif", "*.gif", "*.heic", "*.png", "*.tif", "*.webp"}));

            form3.HTMLFileName = dir.file("site/album.html");
            form3.SourceFiles.clear();
            for (const FormatPicture& p : pictures)
                form3.SourceFiles.add(p.path);
            form3.show();
            QTest::mouseClick(form3.Button1, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!form3.running(), 60000);
            QCOMPARE(dialogs.errors, QStringList());
            QCOMPARE(dialogs.messages, QStringList{QStringLiteral("完了しました")});
        }
        for (std::size_t i = 0; i < pictures.size(); ++i)
            QCOMPARE(QImage(QString::fromStdString(
                                dir.file("site/large/L" + std::to_string(i) + ".jpg")))
                         .size(),
                     QSize(32, 24));
        if (!haveChromium())
            QSKIP("Chromium is not installed (scripts/setup.sh --test installs it)");
        QCOMPARE(loadedPictures(dir.file("site/album.html"), dir.file("profile")),
                 QStringLiteral("LOADED %1 OF %1").arg(pictures.size()));
    }
};

QTEST_MAIN(TestSpiWindows)
#include "tst_spi_windows.moc"

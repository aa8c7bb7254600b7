// The main window's preview loader with real decoders: a plug-in that takes its time
// (slow_plugin.cpp, in the helper process) and JPEG files.
#include "app/preview.h"
#include "app/startup.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "ui/image.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdint>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// A picture of the slow test format: decoding it sleeps delayMs in the plug-in.
std::string slowPicture(const TempDir& dir, const std::string& name, std::int32_t delayMs,
                        std::int32_t width, std::int32_t height) {
    std::string bytes = "SLOW";
    for (const std::int32_t v : {delayMs, width, height})
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    return dir.write(name, bytes);
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    // While a picture decodes for 1.5 s the GUI thread goes on (a 1 ms timer keeps
    // ticking); of two quick clicks the later one is shown, and the earlier one's
    // result, arriving after it, is thrown away.
    void slowDecodeNeitherBlocksNorOvertakesTheLatestClick() {
        ManagerScope scope;
        scope.search(std::string(KELVORA_SLOW_PLUGIN_DIR) + "/*.spi");
        TempDir dir;
        const std::string slow = slowPicture(dir, "slow.slow", 1500, 40, 30);
        const std::string quick = slowPicture(dir, "quick.slow", 100, 20, 10);
        TImage image;
        image.resize(40, 30);
        TPreviewLoader previews(image);
        QSignalSpy settled(&previews, &TPreviewLoader::settled);

        QElapsedTimer clock;
        qint64 last = 0, longestGap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        ticker.start(1);
        previews.Show(slow);
        QVERIFY(previews.Busy());
        QTest::qWait(50);
        previews.Show(quick);
        QVERIFY(settled.wait(20000));
        QCOMPARE(image.picture().width(), 20);
        // The slow one ends later; what it brings is dropped.
        QTest::qWait(1800);
        QCOMPARE(image.picture().width(), 20);
        QCOMPARE(settled.count(), 1);
        QCOMPARE(previews.Decodes(), 2);
        // Far shorter than the decode: the window was never held up by it.
        qInfo("longest gap between 1 ms ticks: %lld ms", static_cast<long long>(longestGap));
        QVERIFY2(longestGap < 750, qPrintable(QString::number(longestGap)));
    }

    // A JPEG decoded at a reduced scale for a small control is decoded again when the
    // control grows past it, keeping the old picture meanwhile; a control that shrinks
    // needs nothing new.
    void aGrownControlGetsASharperPicture() {
        registerPictureFormats(32);
        TempDir dir;
        const std::string file = saveImage(patternImage(800, 600), dir.file("p.jpg"), "jpg", 90);
        TImage image;
        image.resize(100, 75);
        image.show(); // a hidden control is told of its size only when shown
        TPreviewLoader previews(image);
        previews.Show(file);
        QTRY_VERIFY(!previews.Busy());
        QCOMPARE(image.picture().width(), 100); // an eighth
        const struct {
            QSize size;
            int width; // of the picture shown afterwards
            int decodes;
        } steps[] = {{{300, 225}, 400, 1}, {{150, 110}, 400, 0}, {{900, 700}, 800, 1}};
        for (const auto& step : steps) {
            const int before = previews.Decodes();
            image.resize(step.size);
            QVERIFY(!image.picture().empty());
            QTest::qWait(300);
            QTRY_VERIFY(!previews.Busy());
            QCOMPARE(image.picture().width(), step.width);
            QCOMPARE(previews.Decodes() - before, step.decodes);
        }
        // The same file at the new size is the one shown: no decode.
        const int before = previews.Decodes();
        previews.Show(file);
        QCOMPARE(previews.Decodes(), before);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"

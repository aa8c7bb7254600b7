// The main window's preview of a large photograph: what a click on a picture in the
// file list costs.
//
//   bench_preview [REPS]
//
// A 4000 x 3000 JPEG (a 12-megapixel photograph) is loaded into a preview control of
// the main window's size (187 x 156), as the main window does (decoded at the smallest
// reduced scale that still covers the control), against a whole decode of the same
// file through the same control in the same run. Then a click, which reports two
// selection changes for the same file, against loading the preview twice. Median of
// REPS (default 9) runs each.
#include "app/preview.h"
#include "app/startup.h"
#include "ui/image.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace kelvora;

namespace {

using Clock = std::chrono::steady_clock;

// Smooth light with fine noise, so that the file is as hard to decode as a photograph.
QImage photograph(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient light(0, 0, w, h);
    light.setColorAt(0, QColor(0x87, 0xce, 0xeb));
    light.setColorAt(1, QColor(0x1e, 0x3a, 0x5f));
    painter.fillRect(image.rect(), light);
    painter.end();
    QRandomGenerator random(7);
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < 3 * w; ++x)
            row[x] = static_cast<uchar>(std::clamp(row[x] + int(random.bounded(33)) - 16, 0, 255));
    }
    return image;
}

double medianMs(int reps, const std::function<void()>& load) {
    std::vector<double> ms;
    for (int i = 0; i < reps; ++i) {
        const Clock::time_point start = Clock::now();
        load();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    registerPictureFormats(32);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    QTemporaryDir dir;
    const std::string file = QDir(dir.path()).filePath("photo.jpg").toStdString();
    if (!photograph(4000, 3000).save(QString::fromStdString(file), "JPEG", 90))
        return 1;

    TImage image;
    image.resize(187, 156);
    const double whole = medianMs(reps, [&] { image.loadFromFile(file); });
    const int wholeWidth = image.picture().width();
    const double preview = medianMs(reps, [&] { LoadPreview(image, file); });
    std::printf("Preview of a 4000 x 3000 JPEG in a 187 x 156 control, median of %d (ms)\n", reps);
    std::printf("%-40s %8s %8s %8s\n", "", "ms", "ratio", "decoded");
    std::printf("%-40s %8.1f %8.2f %8d\n", "baseline: whole decode", whole, 1.0, wholeWidth);
    std::printf("%-40s %8.1f %8.2f %8d\n", "main window preview (reduced scale)", preview,
                preview / whole, image.picture().width());

    // A click in the file list reports two selection changes naming the same file.
    const double twice = medianMs(reps, [&] {
        LoadPreview(image, file);
        LoadPreview(image, file);
    });
    TPreviewLoader previews(image);
    const double click = medianMs(reps, [&] {
        previews.Clear();
        previews.Show(file);
        previews.Show(file);
        // Decoded on the loader's worker; shown once its result reaches this thread.
        while (previews.Busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    std::printf("\nA click: two selection reports for the same file, median of %d (ms)\n", reps);
    std::printf("%-40s %8.1f %8.2f\n", "baseline: the preview loaded twice", twice, 1.0);
    std::printf("%-40s %8.1f %8.2f\n", "main window (file shown kept)", click, click / twice);
    return 0;
}

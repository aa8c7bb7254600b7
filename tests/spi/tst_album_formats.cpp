// An album of the plug-in formats made by the batch command, which finds the
// shipped plug-ins in its own plug-in folder, and checked in a real browser.
#include "tests/spi/spi_test_support.h"
#include "tests/support/browser.h"
#include "tests/support/xdg_sandbox.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {
// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;
} // namespace

TEST(AlbumFormats, TheBatchCommandReadsEveryShippedFormat) {
    TempDir dir;
    const std::vector<FormatPicture> pictures = makeFormatPictures(dir, 64, 48);
    if (pictures.empty())
        GTEST_SKIP() << "ImageMagick, heif-enc or avifenc is missing (scripts/setup.sh --test)";
    QStringList arguments = {QStringLiteral("--title"), QStringLiteral("形式"),
                             QString::fromStdString(dir.file("site/album.html"))};
    for (const FormatPicture& p : pictures)
        arguments << QString::fromStdString(p.path);
    // No Susie folder: the command's own plug-in folder must be enough.
    qputenv("XDG_CONFIG_HOME", dir.file("config").c_str());
    ASSERT_EQ(runProgram(QStringLiteral(KELVORA_ALBUM_COMMAND), arguments), 0);
    qunsetenv("XDG_CONFIG_HOME");

    for (std::size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(pictures[i].name);
        const std::string n = std::to_string(i);
        EXPECT_EQ(QImage(QString::fromStdString(dir.file("site/large/L" + n + ".jpg"))).size(),
                  QSize(32, 24));
        EXPECT_EQ(QImage(QString::fromStdString(dir.file("site/Small/S" + n + ".jpg"))).size(),
                  QSize(19, 14));
    }
    if (!haveChromium())
        GTEST_SKIP() << "Chromium is not installed (scripts/setup.sh --test installs it)";
    EXPECT_EQ(loadedPictures(dir.file("site/album.html"), dir.file("profile")),
              QStringLiteral("LOADED %1 OF %1").arg(pictures.size()));
}

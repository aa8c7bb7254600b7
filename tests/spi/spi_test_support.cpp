#include "tests/spi/spi_test_support.h"

#include "app/startup.h"
#include "spi/decoder_process.h"
#include "spi/spi_bitmap.h"

#include "tests/support/images.h"
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace kelvora::test {

void useBuiltDecoder() {
    static std::once_flag once;
    std::call_once(once, [] {
        TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
        registerPictureFormats(32);
        // Libraries the tests make hang are remembered here, not in the user's cache.
        static const TempDir cache;
        setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    });
}

std::string testPlugin(const std::string& name) {
    return std::string(KELVORA_TEST_PLUGINS) + "/" + name + ".spi";
}

std::string shippedPluginFolder() {
    return KELVORA_SHIPPED_PLUGINS;
}

std::string copyPlugin(const std::string& builtPath, const TempDir& dir, const std::string& as) {
    const std::string to = dir.file(as);
    std::filesystem::create_directories(std::filesystem::path(to).parent_path());
    std::filesystem::copy_file(builtPath, to, std::filesystem::copy_options::overwrite_existing);
    return to;
}

std::string writeTestPicture(const TempDir& dir, const std::string& name, const TestPicture& p,
                             std::size_t macBinaryPrefix) {
    return dir.write(name, testPictureBytes(p, macBinaryPrefix));
}

ManagerScope::ManagerScope() {
    useBuiltDecoder();
    spis.Timeout = std::chrono::milliseconds(20000);
}

ManagerScope::~ManagerScope() {
    FinalizeSPIBitmap();
}

Plugins::Plugins(std::initializer_list<const char*> names) {
    int i = 0;
    for (const char* name : names)
        copyPlugin(testPlugin(name), dir, std::to_string(++i) + "-" + name + ".spi");
    m.search(dir.path() + "/*.spi");
}

int runProgram(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, arguments);
    if (!p.waitForFinished(120000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QImage formatSource(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x / 4) % 16 * 17, (y / 4) % 12 * 23, 128));
    return image;
}

std::vector<FormatPicture> makeFormatPictures(const TempDir& dir, int w, int h) {
    for (const char* tool : {"convert", "heif-enc", "avifenc"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return {};
    const QString source =
        QString::fromStdString(saveImage(formatSource(w, h), dir.file("src/source.png"), "png"));
    QImage alpha = formatSource(w, h).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        alpha.setPixel(0, y, qRgba(0, 0, 0, 0));
    const QString alphaSource =
        QString::fromStdString(saveImage(alpha, dir.file("src/alpha.png"), "png"));

    std::vector<FormatPicture> out;
    const auto make = [&](const char* name, const char* file, int tolerance, bool transparent,
                          const QString& program, QStringList arguments) {
        const std::string path = dir.file(std::string("pics/") + file);
        std::filesystem::create_directories(dir.file("pics"));
        arguments.replaceInStrings(QStringLiteral("OUT"), QString::fromStdString(path));
        if (runProgram(program, arguments) != 0)
            throw std::runtime_error(std::string("cannot make the ") + name + " picture");
        out.push_back({name, path, tolerance, transparent});
    };
    const QString im = QStringLiteral("convert");
    make("PNG", "plain.png", 0, false, im, {source, QStringLiteral("PNG24:OUT")});
    make("PNG palette", "palette.png", 0, false, im, {source, QStringLiteral("PNG8:OUT")});
    make(
        "PNG interlaced", "interlaced.png", 0, false, im,
        {source, QStringLiteral("-interlace"), QStringLiteral("PNG"), QStringLiteral("PNG24:OUT")});
    make("PNG alpha", "alpha.png", 0, true, im, {alphaSource, QStringLiteral("PNG32:OUT")});
    make("GIF", "picture.gif", 0, false, im, {source, QStringLiteral("OUT")});
    make("TIFF", "picture.tif", 0, false, im,
         {source, QStringLiteral("-compress"), QStringLiteral("lzw"), QStringLiteral("OUT")});
    make("TIFF alpha", "alpha.tiff", 0, true, im, {alphaSource, QStringLiteral("OUT")});
    make("WebP lossless", "lossless.webp", 0, false, im,
         {source, QStringLiteral("-define"), QStringLiteral("webp:lossless=true"),
          QStringLiteral("OUT")});
    make("WebP", "lossy.webp", 24, false, im,
         {source, QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("OUT")});
    make("HEIC", "picture.heic", 16, false, QStringLiteral("heif-enc"),
         {QStringLiteral("-q"), QStringLiteral("90"), QStringLiteral("-o"), QStringLiteral("OUT"),
          source});
    make("AVIF", "picture.avif", 16, false, QStringLiteral("avifenc"),
         {QStringLiteral("--min"), QStringLiteral("0"), QStringLiteral("--max"),
          QStringLiteral("8"), source, QStringLiteral("OUT")});
    return out;
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 1000;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

} // namespace kelvora::test

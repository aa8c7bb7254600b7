#include "tests/spi/spi_test_support.h"

#include "app/startup.h"
#include "spi/decoder_process.h"
#include "spi/spi_bitmap.h"

#include <QProcess>
#include <filesystem>
#include <mutex>

namespace kelvora::test {

void useBuiltDecoder() {
    static std::once_flag once;
    std::call_once(once, [] {
        TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
        registerPictureFormats(32);
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

int runProgram(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, arguments);
    if (!p.waitForFinished(120000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace kelvora::test

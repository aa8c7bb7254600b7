#include "base/metafile_converter.h"

#include "base/base_texts.h"
#include "base/errors.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <sys/resource.h>

namespace kelvora {
namespace {

constexpr int kTimeoutMs = 10000;
constexpr rlim_t kCpuSeconds = 10;
constexpr qint64 kMaxSvgBytes = qint64{64} << 20;
constexpr rlim_t kMaxMemory = rlim_t{1} << 30;

[[noreturn]] void cannotRead() {
    throw EInvalidGraphic(BaseTexts::Text(BaseTexts::SMetafileUnreadable));
}

// libwmf measures text with the 13 standard PostScript fonts of fonts-urw-base35
// and refuses every picture when they are missing, even one without text.
constexpr const char* kStandardFontFolder = "/usr/share/fonts/type1/urw-base35";
constexpr const char* kStandardFontFiles[] = {
    "NimbusRoman-Regular.t1",    "NimbusRoman-Italic.t1",    "NimbusRoman-Bold.t1",
    "NimbusRoman-BoldItalic.t1", "NimbusSans-Regular.t1",    "NimbusSans-Italic.t1",
    "NimbusSans-Bold.t1",        "NimbusSans-BoldItalic.t1", "NimbusMonoPS-Regular.t1",
    "NimbusMonoPS-Italic.t1",    "NimbusMonoPS-Bold.t1",     "NimbusMonoPS-BoldItalic.t1",
    "StandardSymbolsPS.t1"};

// Some TrueType or OpenType font of the system ("" when there is none).
QString anySystemFont() {
    static const QString font = [] {
        QStringList roots =
            QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("fonts"),
                                      QStandardPaths::LocateDirectory);
        roots << QDir::homePath() + QStringLiteral("/.fonts");
        for (const QString& root : roots) {
            QDirIterator it(root, {QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files,
                            QDirIterator::Subdirectories);
            if (it.hasNext())
                return it.next();
        }
        return QString();
    }();
    return font;
}

// Without the standard fonts, a folder of stand-ins under the names libwmf looks
// for, all one font of the system, lets it play the picture; text then keeps
// its font names in the SVG and Qt chooses the faces.
QStringList wmfFontArguments(const QTemporaryDir& dir) {
    if (QFileInfo::exists(QString::fromLatin1(kStandardFontFolder) +
                          QStringLiteral("/NimbusRoman-Regular.t1")))
        return {};
    const QString font = anySystemFont();
    const QString folder = dir.filePath(QStringLiteral("fonts"));
    if (font.isEmpty() || !QDir().mkdir(folder))
        return {};
    for (const char* name : kStandardFontFiles)
        QFile::link(font, folder + QLatin1Char('/') + QLatin1String(name));
    return {QStringLiteral("--wmf-fontdir=") + folder};
}

std::uint32_t le16(const std::string& b, std::size_t pos) {
    return static_cast<unsigned char>(b[pos]) | static_cast<unsigned char>(b[pos + 1]) << 8;
}
std::uint32_t le32(const std::string& b, std::size_t pos) {
    return le16(b, pos) | le16(b, pos + 2) << 16;
}
void put16(std::string& b, std::uint32_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void set16(std::string& b, std::size_t pos, std::uint32_t v) {
    b[pos] = static_cast<char>(v & 0xFF);
    b[pos + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void set32(std::string& b, std::size_t pos, std::uint32_t v) {
    set16(b, pos, v & 0xFFFF);
    set16(b, pos + 2, v >> 16);
}

// libwmf maps the bounding box of what a metafile draws onto the whole picture,
// so a drawing with margins comes out stretched. A placeable file names its
// frame: an invisible rectangle over it, played first between SAVEDC and
// RESTOREDC and with its objects deleted again, makes the frame libwmf's box.
std::string withFrameForLibwmf(const std::string& wmf) {
    constexpr std::size_t kHeader = 22; // the WMF header follows the placeable one
    if (wmf.size() < kHeader + 18 || le32(wmf, 0) != 0x9AC6CDD7)
        return wmf;
    const std::uint32_t left = le16(wmf, 6);
    const std::uint32_t top = le16(wmf, 8);
    const std::uint32_t right = le16(wmf, 10);
    const std::uint32_t bottom = le16(wmf, 12);
    std::string frame;
    const auto record = [&frame](std::uint32_t function,
                                 std::initializer_list<std::uint32_t> words) {
        put16(frame, static_cast<std::uint32_t>(3 + words.size()));
        put16(frame, 0);
        put16(frame, function);
        for (std::uint32_t word : words)
            put16(frame, word);
    };
    record(0x001E, {});                         // SAVEDC
    record(0x020B, {top, left});                // SETWINDOWORG
    record(0x02FA, {5, 0, 0, 0, 0});            // CREATEPENINDIRECT PS_NULL
    record(0x012D, {0});                        // SELECTOBJECT
    record(0x02FC, {1, 0, 0, 0});               // CREATEBRUSHINDIRECT BS_NULL
    record(0x012D, {1});                        // SELECTOBJECT
    record(0x041B, {bottom, right, top, left}); // RECTANGLE
    record(0x0127, {0xFFFF});                   // RESTOREDC -1
    record(0x01F0, {0});                        // DELETEOBJECT
    record(0x01F0, {1});                        // DELETEOBJECT
    std::string out = wmf.substr(0, kHeader + 18);
    set32(out, kHeader + 6, le32(out, kHeader + 6) + static_cast<std::uint32_t>(frame.size() / 2));
    set16(out, kHeader + 10, std::max<std::uint32_t>(le16(out, kHeader + 10), 2)); // objects
    set32(out, kHeader + 12, std::max<std::uint32_t>(le32(out, kHeader + 12), 8)); // longest record
    return out + frame + wmf.substr(kHeader + 18);
}

void limitChild() {
    // Runs in the child between fork and exec: only async-signal-safe calls.
    const rlimit fileSize{static_cast<rlim_t>(kMaxSvgBytes), static_cast<rlim_t>(kMaxSvgBytes)};
    setrlimit(RLIMIT_FSIZE, &fileSize);
    const rlimit memory{kMaxMemory, kMaxMemory};
    setrlimit(RLIMIT_AS, &memory);
    const rlimit cpu{kCpuSeconds, kCpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

} // namespace

QByteArray metafileToSvg(const std::string& bytes, bool enhanced) {
    const QString tool = enhanced ? QStringLiteral("emf2svg-conv") : QStringLiteral("wmf2svg");
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        throw EInvalidGraphic((BaseTexts::Text(BaseTexts::SMetafileUnreadable) +
                               QStringLiteral(" (%1 が見つかりません)"))
                                  .arg(tool));

    QTemporaryDir dir;
    if (!dir.isValid())
        cannotRead();
    const QString input =
        dir.filePath(enhanced ? QStringLiteral("picture.emf") : QStringLiteral("picture.wmf"));
    const QString output = dir.filePath(QStringLiteral("picture.svg"));
    {
        const std::string copy = enhanced ? bytes : withFrameForLibwmf(bytes);
        QFile file(input);
        const auto size = static_cast<qint64>(copy.size());
        if (!file.open(QIODevice::WriteOnly) || file.write(copy.data(), size) != size)
            cannotRead();
    }
    QStringList arguments;
    if (enhanced)
        arguments << QStringLiteral("-i") << input << QStringLiteral("-o") << output;
    else // --inline keeps embedded bitmaps inside the SVG rather than in files beside it
        arguments << wmfFontArguments(dir) << QStringLiteral("--inline") << QStringLiteral("-o")
                  << output << input;

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(dir.path());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(limitChild);
    process.start();
    if (!process.waitForStarted(kTimeoutMs))
        cannotRead();
    if (!process.waitForFinished(kTimeoutMs) && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        cannotRead();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        cannotRead();

    QFile svg(output);
    if (!svg.open(QIODevice::ReadOnly) || svg.size() == 0 || svg.size() >= kMaxSvgBytes)
        cannotRead();
    return svg.readAll();
}

} // namespace kelvora

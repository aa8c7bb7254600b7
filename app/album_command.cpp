#include "app/album_command.h"

#include "album/album_run.h"
#include "app/app_texts.h"
#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/picture.h"
#include "settings/inifile.h"
#include "settings/page_section.h"

#include <QColor>
#include <QCommandLineParser>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

const char* const kDescription =
    "Makes a web photo album: for every PICTURE a large and a small picture, as the\n"
    "sections Large and Small of Option.ini say, and the page PAGE.html that shows\n"
    "the small pictures in a table, each linking to its large picture.\n"
    "\n"
    "The comment file holds one line per picture: its path, a tab, the comment\n"
    "(in the system's encoding; paths relative to the current folder).";

std::string absolute(const std::string& path) {
    return std::filesystem::absolute(std::filesystem::path(path)).string();
}

std::optional<int> intInRange(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

TAlbumCommandParse failure(const QString& message) {
    TAlbumCommandParse r;
    r.exitCode = 2;
    r.output = QStringLiteral("kelvora-album: %1\n(kelvora-album --help で使い方を表示します)\n")
                   .arg(message);
    return r;
}

// An argument as the user reads it in a message: its bytes, the odd ones marked.
QString shown(const QString& argument) {
    return toDisplayQ(fromLosslessQ(argument));
}

bool isPageName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == "html" || ext == "htm";
}

// One line, redrawn in place: the bar, the pictures done and the latest picture.
void drawProgress(int fd, int done, int total, const std::string& picture) {
    if (total <= 0)
        return;
    constexpr int width = 20;
    const int filled = done * width / total;
    std::string line = "\r\x1b[K[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(width - filled), '.');
    line += "] " + std::to_string(done) + "/" + std::to_string(total);
    if (!picture.empty()) {
        const auto slash = picture.find_last_of('/');
        line += " " + (slash == std::string::npos ? picture : picture.substr(slash + 1));
    }
    [[maybe_unused]] const auto written = ::write(fd, line.data(), line.size());
}

} // namespace

std::optional<TColor> ParseColor(const QString& text) {
    QString t = text.trimmed();
    if (t.size() == 6 && !t.startsWith(QLatin1Char('#'))) {
        bool hex = false;
        t.toUInt(&hex, 16);
        if (hex)
            t.prepend(QLatin1Char('#'));
    }
    const QColor c = QColor::fromString(t);
    if (!c.isValid())
        return std::nullopt;
    return fromQColor(c);
}

TAlbumCommandParse ParseAlbumCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addPositionalArgument(QStringLiteral("PAGE.html"), QStringLiteral("the page to write"));
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("the pictures, in order"),
                                 QStringLiteral("PICTURE..."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Pictures converted at once (default: one per "
                                                 "core, here %1).")
                                      .arg(DefaultJobCount()),
                                  QStringLiteral("N"));
    const QCommandLineOption title({QStringLiteral("t"), QStringLiteral("title")},
                                   QStringLiteral("Title of the page (markup allowed)."),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption background(QStringLiteral("background"),
                                        QStringLiteral("Background colour (#RRGGBB or a name; "
                                                       "default white)."),
                                        QStringLiteral("COLOR"));
    const QCommandLineOption columns({QStringLiteral("c"), QStringLiteral("columns")},
                                     QStringLiteral("Pictures per row, 1 to 10 (default 3)."),
                                     QStringLiteral("N"));
    const QCommandLineOption frame(QStringLiteral("frame"),
                                   QStringLiteral("Put a frame around each picture."));
    const QCommandLineOption frameWidth(QStringLiteral("frame-width"),
                                        QStringLiteral("Frame width, 1 to 9 (default 5)."),
                                        QStringLiteral("N"));
    const QCommandLineOption frameColor(QStringLiteral("frame-color"),
                                        QStringLiteral("Frame colour (default white)."),
                                        QStringLiteral("COLOR"));
    const QCommandLineOption comments(QStringLiteral("comments"),
                                      QStringLiteral("Show the comments (below each picture)."));
    const QCommandLineOption commentsAbove(QStringLiteral("comments-above"),
                                           QStringLiteral("Show the comments above each picture."));
    const QCommandLineOption commentFile(QStringLiteral("comment-file"),
                                         QStringLiteral("Read comments from FILE (implies "
                                                        "--comments)."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption options(QStringLiteral("options"),
                                     QStringLiteral("Conversion settings from FILE instead of the "
                                                    "Option.ini beside the program."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption smooth(QStringLiteral("smooth"),
                                    QStringLiteral("Scale both sizes smoothly (Lanczos) instead "
                                                   "of picking pixels."));
    const QCommandLineOption fit(QStringLiteral("fit"),
                                 QStringLiteral("In pixel mode, fit both sizes inside Horizonal x "
                                                "Vertical, keeping proportions."));
    const QCommandLineOption perPage(QStringLiteral("per-page"),
                                     QStringLiteral("Pictures per page, 0 to %1: album.html, "
                                                    "album_2.html, ... linked to each other "
                                                    "(default: Option.ini's, else 0, one page).")
                                         .arg(kMaxPerPage),
                                     QStringLiteral("N"));
    const QCommandLineOption skipUnreadable(
        QStringLiteral("skip-unreadable"),
        QStringLiteral("Leave out pictures that cannot be read; they are listed at the end and "
                       "the exit status is 3."));
    const QCommandLineOption rebuild(QStringLiteral("rebuild"),
                                     QStringLiteral("Convert every picture again, even those the "
                                                    "last run of this album left as they are."));
    parser.addOptions({help, version, jobs, title, background, columns, frame, frameWidth,
                       frameColor, comments, commentsAbove, commentFile, options, smooth, fit,
                       perPage, skipUnreadable, rebuild});

    if (!parser.parse(QStringList{QStringLiteral("kelvora-album")} + arguments))
        return failure(parser.errorText());
    if (parser.isSet(help)) {
        TAlbumCommandParse r;
        r.output = parser.helpText();
        return r;
    }
    if (parser.isSet(version)) {
        TAlbumCommandParse r;
        r.output = QStringLiteral("kelvora-album %1\n").arg(QStringLiteral(KELVORA_VERSION));
        return r;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2)
        return failure(QStringLiteral("ページと画像を指定してください"));

    TAlbumCommand cmd;
    cmd.htmlFileName = absolute(fromLosslessQ(positional[0]));
    // A forgotten page argument would make the first picture the page.
    if (!isPageName(cmd.htmlFileName))
        return failure(QStringLiteral("ページ %1 の名前は .html か .htm で終わる必要があります")
                           .arg(shown(positional[0])));
    for (qsizetype i = 1; i < positional.size(); ++i) {
        const std::string path = absolute(fromLosslessQ(positional[i]));
        if (std::filesystem::path(path).lexically_normal() ==
            std::filesystem::path(cmd.htmlFileName).lexically_normal())
            return failure(
                QStringLiteral("ページ %1 が画像の中にあります").arg(shown(positional[0])));
        // The main window lists each picture once; so does the command.
        if (cmd.sourceFiles.indexOf(path) < 0)
            cmd.sourceFiles.add(path);
    }
    cmd.jobs = DefaultJobCount();
    if (parser.isSet(jobs)) {
        const auto n = intInRange(parser.value(jobs), 1, 64);
        if (!n)
            return failure(QStringLiteral("--jobs は 1 から 64 です"));
        cmd.jobs = *n;
    }
    if (parser.isSet(options)) {
        cmd.optionFile = absolute(fromLosslessQ(parser.value(options)));
        // Settings asked for by name must not silently fall back to the defaults.
        struct stat st;
        if (::stat(cmd.optionFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return failure(
                QStringLiteral("設定ファイル %1 は開けません").arg(shown(parser.value(options))));
    } else {
        cmd.optionFile = OptionFilePath();
    }
    cmd.rebuild = parser.isSet(rebuild);
    cmd.page.title = fromLosslessQ(parser.value(title));
    if (parser.isSet(background)) {
        const auto c = ParseColor(parser.value(background));
        if (!c)
            return failure(AppTexts::Text(AppTexts::SBadColor).arg(parser.value(background)));
        cmd.page.backColor = *c;
    }
    if (parser.isSet(columns)) {
        const auto n = intInRange(parser.value(columns), 1, 10);
        if (!n)
            return failure(QStringLiteral("列数は 1 から 10 です"));
        cmd.page.columns = *n;
    }
    cmd.page.frame = parser.isSet(frame);
    if (parser.isSet(frameWidth)) {
        const auto n = intInRange(parser.value(frameWidth), 1, 9);
        if (!n)
            return failure(QStringLiteral("枠の太さは 1 から 9 です"));
        cmd.page.frameWidth = *n;
    }
    if (parser.isSet(frameColor)) {
        const auto c = ParseColor(parser.value(frameColor));
        if (!c)
            return failure(AppTexts::Text(AppTexts::SBadColor).arg(parser.value(frameColor)));
        cmd.page.frameColor = *c;
    }
    cmd.page.commentsAbove = parser.isSet(commentsAbove);
    cmd.page.comments =
        parser.isSet(comments) || parser.isSet(commentsAbove) || parser.isSet(commentFile);
    if (parser.isSet(commentFile)) {
        try {
            TStringList lines;
            lines.loadFromFile(fromLosslessQ(parser.value(commentFile)));
            for (const std::string& line : lines) {
                const auto tab = line.find('\t');
                if (tab == std::string::npos)
                    continue;
                cmd.comments[absolute(line.substr(0, tab))] = line.substr(tab + 1);
            }
        } catch (const Exception& e) {
            return failure(e.message());
        }
    }
    cmd.smooth = parser.isSet(smooth);
    cmd.fit = parser.isSet(fit);
    if (parser.isSet(perPage)) {
        const auto n = intInRange(parser.value(perPage), 0, kMaxPerPage);
        if (!n)
            return failure(QStringLiteral("--per-page は 0 から %1 です").arg(kMaxPerPage));
        cmd.perPage = *n;
    }
    cmd.skipUnreadable = parser.isSet(skipUnreadable);
    TAlbumCommandParse r;
    r.command = std::move(cmd);
    return r;
}

TAlbumRunResult RunAlbumCommand(const TAlbumCommand& command, int progressFd,
                                const std::atomic<bool>* stop) {
    TAlbumJob job = MakeAlbumJob(command.htmlFileName, command.sourceFiles, command.optionFile);
    if (command.perPage)
        job.perPage = *command.perPage;
    job.skipUnreadable = job.skipUnreadable || command.skipUnreadable;
    for (TPictureSettings* s : {&job.large, &job.small}) {
        s->Smooth = s->Smooth || command.smooth;
        s->KeepAspect = s->KeepAspect || command.fit;
    }
    job.rebuild = command.rebuild;
    const bool terminal = progressFd >= 0 && ::isatty(progressFd);
    TAlbumRunHooks hooks;
    int picturesDone = 0;
    if (terminal)
        hooks.pictureConverted = [&](int index, const QImage&) {
            drawProgress(progressFd, ++picturesDone, job.sourceFiles.count(),
                         job.sourceFiles[index]);
        };
    hooks.pageOptions = [&] { return command.page; };
    hooks.comments = [&](const std::string& sourceFile) -> std::optional<std::string> {
        const auto it = command.comments.find(sourceFile);
        if (it == command.comments.end())
            return std::string();
        return it->second;
    };
    TAlbumRunResult result;
    try {
        result = RunAlbum(job, hooks, command.jobs, stop);
    } catch (...) {
        if (terminal) [[maybe_unused]]
            const auto w = ::write(progressFd, "\n", 1);
        throw;
    }
    if (terminal) [[maybe_unused]]
        const auto w = ::write(progressFd, "\n", 1);
    return result;
}

} // namespace kelvora

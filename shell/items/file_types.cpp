#include "shell/items/file_types.h"
#include "shell/shell_texts.h"

#include "base/codepage.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace kelvora {

namespace {

const QLocale& japanese() {
    static const QLocale locale(QLocale::Japanese, QLocale::Japan);
    return locale;
}

// Compound globs (*.tar.gz, *.ps.bz2) end in a compressor's extension; for
// those the last two extensions decide the type.
constexpr std::string_view kCompressorExt[] = {"gz", "bz2", "xz",  "lz", "lzma", "lzo",
                                               "Z",  "zst", "lz4", "br", "uu"};

// The part of the name the MIME globs can match, as the cache key. Names
// without an extension are keyed by the whole name (globs like "Makefile").
std::string extensionKey(std::string_view name, std::string_view& lastExt) {
    while (!name.empty() && name.front() == '.')
        name.remove_prefix(1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) {
        lastExt = {};
        return std::string(1, '\x01') + std::string(name);
    }
    lastExt = name.substr(dot + 1);
    if (std::find(std::begin(kCompressorExt), std::end(kCompressorExt), lastExt) !=
        std::end(kCompressorExt)) {
        const std::size_t prev = name.rfind('.', dot - 1);
        if (prev != std::string_view::npos && dot > 0)
            return std::string(name.substr(prev + 1));
    }
    return std::string(lastExt);
}

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

struct TypeCache {
    std::mutex mutex;
    std::unordered_map<std::string, PShFileType> byExtension;
    std::unordered_map<QString, QString> comments; // MIME name -> Japanese comment
};

TypeCache& typeCache() {
    static TypeCache c;
    return c;
}

// Folders with many distinct extension-less names must not grow the cache
// without bound; beyond this the types are still computed, just not kept.
constexpr std::size_t kMaxCachedTypes = 4096;

QString commentLocked(TypeCache& c, const QMimeType& mime) {
    auto it = c.comments.find(mime.name());
    if (it != c.comments.end())
        return it->second;
    // comment() follows the default locale; switch it to Japanese for the call.
    // A type the database has no Japanese text for answers in English (or with
    // its MIME name), which is no Japanese comment at all: ask again under the C
    // locale to tell the two apart.
    const QLocale saved;
    QLocale::setDefault(japanese());
    QString comment = mime.comment();
    QLocale::setDefault(QLocale::c());
    const QString fallback = mime.comment();
    QLocale::setDefault(saved);
    if (comment == fallback || comment == mime.name())
        comment.clear();
    while (!comment.isEmpty() && comment.back().isSpace())
        comment.chop(1);
    c.comments.emplace(mime.name(), comment);
    return comment;
}

PShFileType makeType(TypeCache& c, const QMimeType& mime, std::string_view lastExt) {
    QStringList icons;
    std::string typeName;
    if (mime.isValid() && !mime.isDefault()) {
        icons << mime.iconName() << mime.genericIconName();
        const QString comment = commentLocked(c, mime);
        if (!comment.isEmpty())
            typeName = fromQ(comment);
    }
    icons << QStringLiteral("application-x-generic");
    if (typeName.empty()) {
        // Unknown types read as the Explorer names them: "XYZ ファイル".
        typeName = lastExt.empty()
                       ? fromQ(VelShCst::Text(VelShCst::SPlainFileType))
                       : asciiUpper(lastExt) + fromQ(VelShCst::Text(VelShCst::SFileTypeSuffix));
    }
    return ShMakeFileType(std::move(typeName), std::move(icons));
}

} // namespace

TShFileType::TShFileType(std::string name, QStringList icons)
    : iconNames(std::move(icons)), typeName(std::move(name)), typeKey(ShSortKey(typeName)) {}

PShFileType ShMakeFileType(std::string typeName, QStringList iconNames) {
    return std::make_shared<const TShFileType>(std::move(typeName), std::move(iconNames));
}

PShFileType ShFileTypeOfName(std::string_view name) {
    std::string_view lastExt;
    const std::string key = extensionKey(name, lastExt);
    TypeCache& c = typeCache();
    std::lock_guard lock(c.mutex);
    if (auto it = c.byExtension.find(key); it != c.byExtension.end())
        return it->second;
    // The key stands for every name with this extension, so match on it alone.
    const std::string probe = key[0] == '\x01' ? key.substr(1) : "x." + key;
    const QMimeType mime =
        QMimeDatabase().mimeTypeForFile(toQ(probe), QMimeDatabase::MatchExtension);
    PShFileType type = makeType(c, mime, lastExt);
    if (c.byExtension.size() >= kMaxCachedTypes)
        c.byExtension.clear();
    c.byExtension.emplace(key, type);
    return type;
}

PShFileType ShFolderType() {
    static const PShFileType folder = [] {
        const QString comment = ShJapaneseComment(QStringLiteral("inode/directory"));
        return ShMakeFileType(
            fromQ(comment.isEmpty() ? VelShCst::Text(VelShCst::SFolderTypeName) : comment),
            {QStringLiteral("folder")});
    }();
    return folder;
}

QString ShJapaneseComment(const QString& mimeName) {
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeName);
    if (!mime.isValid())
        return {};
    TypeCache& c = typeCache();
    std::lock_guard lock(c.mutex);
    return commentLocked(c, mime);
}

std::string ShDateText(std::int64_t nanoseconds) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(nanoseconds / 1000000, Qt::LocalTime);
    return fromQ(japanese().toString(t, QLocale::ShortFormat));
}

std::string ShSizeText(std::uint64_t bytes) {
    std::uint64_t kb = bytes / 1024 + (bytes % 1024 != 0);
    if (kb == 0)
        kb = 1;
    return fromQ(japanese().toString(static_cast<qulonglong>(kb)) + QStringLiteral("KB"));
}

QCollator& ShCollator() {
    thread_local QCollator collator = [] {
        QCollator c(QLocale(QLocale::Japanese, QLocale::Japan));
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

QCollatorSortKey ShSortKey(std::string_view bytes) {
    return ShCollator().sortKey(toQ(bytes));
}

} // namespace kelvora

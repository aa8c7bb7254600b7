#pragma once
// What a Japanese user reads about a file whatever the process's locale: type
// names from the MIME database in Japanese, dates and sizes in Japanese format,
// and the natural Japanese order of names.
#include <QCollator>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kelvora {

struct TShFileType {
    TShFileType(std::string name, QStringList icons);

    QStringList iconNames;    // most specific first; the image list takes the first it has
    std::string typeName;     // system code page
    QCollatorSortKey typeKey; // of typeName, for ordering by type
    mutable std::atomic<int> iconIndex{-1}; // in the system image list, once resolved
};
using PShFileType = std::shared_ptr<const TShFileType>;

// The type of a file by its name (extension match only, never the contents),
// cached per extension.
PShFileType ShFileTypeOfName(std::string_view name);
// The type of folders ("フォルダー").
PShFileType ShFolderType();
// A type of the given name and icons (for drives and virtual folders).
PShFileType ShMakeFileType(std::string typeName, QStringList iconNames);

// A MIME type's Japanese comment, trailing blanks removed; empty when it has none
// (the database's English text is never given in its place).
QString ShJapaneseComment(const QString& mimeName);

// "2001/02/03 14:05" in local time, from nanoseconds since the epoch.
std::string ShDateText(std::int64_t nanoseconds);
// Kilobytes rounded up, at least 1, with thousands separators: "1,024KB".
std::string ShSizeText(std::uint64_t bytes);

// Names in natural Japanese order: numbers by value, case ignored.
// One collator per thread (a collator must not be shared between threads).
QCollator& ShCollator();
QCollatorSortKey ShSortKey(std::string_view bytes);

} // namespace kelvora

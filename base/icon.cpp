#include "base/icon.h"

#include "base/bitmap.h"
#include "base/errors.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <istream>
#include <iterator>
#include <ostream>
#include <string_view>
#include <vector>

namespace kelvora {
namespace {

constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kDirectoryEntrySize = 16;
constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1a\n", 8};

[[noreturn]] void invalidIcon() {
    throw EInvalidGraphic(QStringLiteral("アイコン画像が不正です"));
}

// Callers check the bounds.
std::uint32_t byteAt(std::string_view b, std::size_t pos) {
    return static_cast<unsigned char>(b[pos]);
}
std::uint32_t le16(std::string_view b, std::size_t pos) {
    return byteAt(b, pos) | byteAt(b, pos + 1) << 8;
}
std::uint32_t le32(std::string_view b, std::size_t pos) {
    return le16(b, pos) | le16(b, pos + 2) << 16;
}
std::uint32_t be32(std::string_view b, std::size_t pos) {
    return byteAt(b, pos) << 24 | byteAt(b, pos + 1) << 16 | byteAt(b, pos + 2) << 8 |
           byteAt(b, pos + 3);
}

struct IconEntry {
    int index;
    long long width;
    long long height;
    int depth;
};

long long rowBytes(long long width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// The directory entry at index with its true size and depth, or false when its
// data is not in the file: such entries are left out before Qt allocates for them.
bool readEntry(std::string_view file, int index, IconEntry& entry) {
    const std::size_t at =
        kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::size_t>(index);
    const std::uint32_t offset = le32(file, at + 12);
    if (offset >= file.size())
        return false;
    const std::string_view data =
        file.substr(offset, std::min<std::size_t>(le32(file, at + 8), file.size() - offset));
    // A side of 256 is written as 0.
    entry = {index, byteAt(file, at) ? byteAt(file, at) : 256,
             byteAt(file, at + 1) ? byteAt(file, at + 1) : 256,
             static_cast<int>(le16(file, at + 6))};
    if (data.starts_with(kPngSignature)) {
        if (data.size() < 24)
            return false;
        entry.width = be32(data, 16);
        entry.height = be32(data, 20);
        if (entry.depth == 0)
            entry.depth = 32;
    } else {
        if (data.size() < 40 || le32(data, 0) < 40)
            return false;
        const int bits = static_cast<int>(le16(data, 14));
        if (bits != 0)
            entry.depth = bits;
        // The bitmap holds the picture and its mask, one above the other.
        if (byteAt(file, at) == 0)
            entry.width = static_cast<std::int32_t>(le32(data, 4));
        if (byteAt(file, at + 1) == 0)
            entry.height = static_cast<std::int32_t>(le32(data, 8)) / 2;
        if (entry.width <= 0 || entry.height <= 0 || entry.depth <= 0 || entry.depth > 32)
            return false;
        const std::uint32_t colorsUsed = le32(data, 32);
        const long long palette =
            entry.depth <= 8 ? 4LL * (colorsUsed ? colorsUsed : 1u << entry.depth) : 0;
        const long long needed =
            40 + palette +
            (rowBytes(entry.width, entry.depth) + rowBytes(entry.width, 1)) * entry.height;
        if (palette > 4 * 256 || needed > static_cast<long long>(data.size()))
            return false;
    }
    return entry.width > 0 && entry.height > 0 && entry.width * entry.height <= kMaxPicturePixels;
}

// The file with every entry's length cut to the bytes the file has: Qt's reader
// takes the directory's word for it and reads nothing when it says too much.
std::string withLengthsClamped(std::string file, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t at =
            kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::size_t>(i);
        const std::uint32_t offset = le32(file, at + 12);
        if (offset >= file.size() || le32(file, at + 8) <= file.size() - offset)
            continue;
        const auto available = static_cast<std::uint32_t>(file.size() - offset);
        for (int k = 0; k < 4; ++k)
            file[at + 8 + k] = static_cast<char>((available >> (8 * k)) & 0xFF);
    }
    return file;
}

// Usable entries, best first: the largest, then the deepest, then in file order.
std::vector<IconEntry> entriesByPreference(std::string_view file) {
    if (file.size() < kDirectoryHeaderSize || le16(file, 0) != 0 ||
        (le16(file, 2) != 1 && le16(file, 2) != 2))
        invalidIcon();
    const int count = static_cast<int>(le16(file, 4));
    if (count == 0 || kDirectoryHeaderSize + kDirectoryEntrySize * count > file.size())
        invalidIcon();
    std::vector<IconEntry> entries;
    for (int i = 0; i < count; ++i) {
        IconEntry entry;
        if (readEntry(file, i, entry))
            entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const IconEntry& a, const IconEntry& b) {
        const long long areaA = a.width * a.height;
        const long long areaB = b.width * b.height;
        return areaA != areaB ? areaA > areaB : a.depth > b.depth;
    });
    return entries;
}

} // namespace

const TGraphicClass& TIcon::classInfo() {
    static const TGraphicClass info{"TIcon", &TGraphic::classInfo(),
                                    [] { return std::make_unique<TIcon>(); }};
    return info;
}

void TIcon::draw(QPainter& painter, const QRect& rect) {
    if (!image_.isNull())
        painter.drawImage(rect, image_);
}

void TIcon::loadFromStream(std::istream& in) {
    loadFromBytes(
        std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

void TIcon::loadFromBytes(const std::string& bytes) {
    const std::vector<IconEntry> entries = entriesByPreference(bytes);
    allowPictureAllocations();
    const std::string clamped = withLengthsClamped(bytes, static_cast<int>(le16(bytes, 4)));
    QByteArray data =
        QByteArray::fromRawData(clamped.data(), static_cast<qsizetype>(clamped.size()));
    // An entry Qt cannot decode (16-bit bitmaps, a broken PNG) gives way to the next best.
    for (const IconEntry& entry : entries) {
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        QImage image;
        if (!reader.jumpToImage(entry.index) || !reader.read(&image) || image.isNull())
            continue;
        image_ = image.convertToFormat(QImage::Format_ARGB32);
        bytes_ = bytes;
        return;
    }
    invalidIcon();
}

void TIcon::saveToStream(std::ostream& out) {
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
}

void TIcon::assign(const TGraphic& source) {
    const auto* icon = dynamic_cast<const TIcon*>(&source);
    if (!icon) {
        TGraphic::assign(source);
        return;
    }
    bytes_ = icon->bytes_;
    image_ = icon->image_;
}

} // namespace kelvora

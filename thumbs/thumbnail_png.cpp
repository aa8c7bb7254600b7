#include "thumbs/thumbnail_png.h"

#include "base/file_io.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <array>
#include <cstdint>

namespace kelvora {
namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::size_t kIhdrEnd = 8 + 4 + 4 + 13 + 4; // signature, then the IHDR chunk

std::uint32_t crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

std::string textChunk(const std::string& key, const std::string& value) {
    std::string body = "tEXt" + key;
    body += '\0';
    body += value;
    std::string chunk;
    putBigEndian(chunk, static_cast<std::uint32_t>(body.size() - 4));
    chunk += body;
    putBigEndian(chunk, crc32(body));
    return chunk;
}

// Qt writes long texts as compressed zTXt, which the standard's readers need not
// read: the keys go in as tEXt chunks of our own instead.
std::string plainPng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return {};
    return bytes.toStdString();
}

std::optional<std::string> textOf(const QImage& image, const char* key) {
    const QString value = image.text(QString::fromLatin1(key));
    if (value.isNull())
        return std::nullopt;
    return value.toStdString();
}

} // namespace

std::string EncodeThumbnailPng(const QImage& image, const TThumbnailKeys& keys) {
    std::string png = plainPng(image);
    if (png.size() < kIhdrEnd || !png.starts_with(kPngSignature))
        return {};
    std::string chunks;
    for (const auto& [key, value] : keys)
        chunks += textChunk(key, value);
    png.insert(kIhdrEnd, chunks);
    return png;
}

std::optional<TThumbnailPng> ReadThumbnailPng(const std::string& path, int maxSide) {
    // A true thumbnail is at most 4 bytes a pixel, and PNG compresses; the rest is
    // room for text chunks.
    const std::size_t limit = std::size_t(maxSide) * std::size_t(maxSide) * 4 + (64u << 10);
    const std::optional<std::string> bytes = readSmallFile(path, limit);
    if (!bytes || bytes->size() < kIhdrEnd || !bytes->starts_with(kPngSignature) ||
        bytes->compare(12, 4, "IHDR") != 0)
        return std::nullopt;
    const std::uint32_t width = bigEndian(*bytes, 16);
    const std::uint32_t height = bigEndian(*bytes, 20);
    if (width < 1 || height < 1 || width > std::uint32_t(maxSide) ||
        height > std::uint32_t(maxSide))
        return std::nullopt;
    QByteArray data = QByteArray::fromRawData(bytes->data(), qsizetype(bytes->size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    TThumbnailPng png;
    if (!reader.read(&png.image) || png.image.isNull())
        return std::nullopt;
    png.uri = textOf(png.image, "Thumb::URI").value_or(std::string());
    png.mtime = textOf(png.image, "Thumb::MTime").value_or(std::string());
    return png;
}

bool ThumbnailMatches(const TThumbnailPng& stored, std::string_view uri, std::time_t mtime) {
    if (stored.uri.empty() || stored.uri != uri)
        return false;
    std::string_view text = stored.mtime;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long seconds = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        if (seconds > (INT64_MAX - 9) / 10)
            return false;
        seconds = seconds * 10 + (text[digits] - '0');
    }
    if (digits == 0)
        return false;
    return (negative ? -seconds : seconds) == static_cast<long long>(mtime);
}

} // namespace kelvora

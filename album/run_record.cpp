#include "album/run_record.h"

#include "base/file_io.h"
#include "base/sibling_temporary.h"
#include "shell/items/xdg_dirs.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {

constexpr quint32 kMagic = 0x4b565252; // "KVRR"
constexpr quint32 kVersion = 1;
constexpr qsizetype kHashSize = 32; // SHA-256, after the payload
constexpr std::size_t kRecordLimit = std::size_t{256} << 20;

std::optional<TFileStamp> stampOf(const struct stat& st) {
    TFileStamp s;
    s.dev = static_cast<std::int64_t>(st.st_dev);
    s.ino = static_cast<std::int64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctime = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QDataStream& operator<<(QDataStream& out, const std::string& s) {
    return out << QByteArray::fromStdString(s);
}
QDataStream& operator>>(QDataStream& in, std::string& s) {
    QByteArray bytes;
    in >> bytes;
    s = bytes.toStdString();
    return in;
}
QDataStream& operator<<(QDataStream& out, const TFileStamp& s) {
    return out << qint64(s.dev) << qint64(s.ino) << qint64(s.size) << qint64(s.mtime)
               << qint64(s.ctime);
}
QDataStream& operator>>(QDataStream& in, TFileStamp& s) {
    qint64 v[5] = {};
    in >> v[0] >> v[1] >> v[2] >> v[3] >> v[4];
    s = {v[0], v[1], v[2], v[3], v[4]};
    return in;
}

std::string normalPage(const std::string& page) {
    return std::filesystem::path(page).lexically_normal().string();
}

} // namespace

std::optional<TFileStamp> SourceStamp(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

std::optional<TFileStamp> OutputStamp(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return stampOf(st);
}

bool TRunRecord::wrotePage(const std::string& path) const {
    for (const TRecordedPage& p : pages)
        if (p.path == path)
            return true;
    return false;
}

std::string RunRecordPath(const std::string& page) {
    const QByteArray key = sha256(QByteArray::fromStdString(normalPage(page))).toHex();
    return XdgCacheHome() + "/kelvora/" + key.toStdString() + ".run";
}

std::optional<TRunRecord> LoadRunRecord(const std::string& page) {
    const std::optional<std::string> file = readSmallFile(RunRecordPath(page), kRecordLimit);
    if (!file || static_cast<qsizetype>(file->size()) < kHashSize)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromStdString(*file);
    const QByteArray payload = bytes.left(bytes.size() - kHashSize);
    if (sha256(payload) != bytes.right(kHashSize))
        return std::nullopt;

    QDataStream in(payload);
    quint32 magic = 0, version = 0, outputs = 0, pages = 0;
    TRunRecord r;
    in >> magic >> version >> r.page >> outputs;
    if (magic != kMagic || version != kVersion || r.page != normalPage(page))
        return std::nullopt;
    for (quint32 i = 0; i < outputs && in.status() == QDataStream::Ok; ++i) {
        TRecordedOutput o;
        in >> o.output >> o.outputStamp >> o.source >> o.sourceStamp >> o.shape >> o.decoder;
        r.outputs.push_back(std::move(o));
    }
    in >> pages;
    for (quint32 i = 0; i < pages && in.status() == QDataStream::Ok; ++i) {
        TRecordedPage p;
        in >> p.path >> p.stamp;
        r.pages.push_back(std::move(p));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return r;
}

bool SaveRunRecord(const TRunRecord& record) {
    const std::string path = RunRecordPath(record.page);
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out << kMagic << kVersion << normalPage(record.page)
            << static_cast<quint32>(record.outputs.size());
        for (const TRecordedOutput& o : record.outputs)
            out << o.output << o.outputStamp << o.source << o.sourceStamp << o.shape << o.decoder;
        out << static_cast<quint32>(record.pages.size());
        for (const TRecordedPage& p : record.pages)
            out << p.path << p.stamp;
    }
    payload += sha256(payload);

    forceDirectories(path.substr(0, path.rfind('/')));
    std::string temp;
    UniqueFd fd = CreateSiblingTemporary(path, 0600, temp);
    const bool saved = fd.valid() && writeAll(fd.get(), payload.toStdString()) &&
                       ::fsync(fd.get()) == 0 && fd.close() &&
                       ::rename(temp.c_str(), path.c_str()) == 0;
    if (!saved) {
        if (!temp.empty())
            ::unlink(temp.c_str());
        ::unlink(path.c_str());
    }
    return saved;
}

} // namespace kelvora

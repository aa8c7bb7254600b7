#include "thumbs/thumbnail_uri.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace kelvora {
namespace {

bool leftAsItIs(unsigned char c) {
    static constexpr std::string_view kMarks = "-._~/!$&'()*+,:=@";
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != 0 && kMarks.find(static_cast<char>(c)) != std::string_view::npos);
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    std::string folder = cwd ? cwd.get() : "/";
    if (folder.back() != '/')
        folder += '/';
    return folder + path;
}

} // namespace

std::string ThumbnailUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string absolute = absolutePath(path);
    std::string uri = "file://";
    uri.reserve(uri.size() + absolute.size() * 3);
    for (const char ch : absolute) {
        const auto c = static_cast<unsigned char>(ch);
        if (leftAsItIs(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

std::string ThumbnailFileName(const std::string& uri) {
    const QByteArray md5 = QCryptographicHash::hash(
        QByteArrayView(uri.data(), static_cast<qsizetype>(uri.size())), QCryptographicHash::Md5);
    return md5.toHex().toStdString() + ".png";
}

} // namespace kelvora

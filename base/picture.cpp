#include "base/picture.h"

#include "base/codepage.h"
#include "base/errors.h"

#include <QPainter>
#include <algorithm>
#include <mutex>

namespace kelvora {
namespace {
struct FormatRegistry {
    std::mutex lock;
    std::vector<TFileFormat> formats; // oldest first; lookups search from the end
};
FormatRegistry& registry() {
    static FormatRegistry r;
    return r;
}
std::string toLowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); });
    return s;
}
} // namespace

std::string lowerExtension(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return toLowerAscii(fileName.substr(dot + 1));
}

void TPicture::assign(const TGraphic* source) {
    if (!source) {
        graphic_.reset();
        return;
    }
    std::unique_ptr<TGraphic> copy = source->graphicClass().create();
    copy->assign(*source);
    graphic_ = std::move(copy);
}

void TPicture::draw(QPainter& painter, const QRect& rect) const {
    if (graphic_)
        graphic_->draw(painter, rect);
}

void TPicture::loadFromFile(const std::string& fileName) {
    const std::string ext = lowerExtension(fileName);
    const TGraphicClass* cls = classForExtension(ext);
    if (!cls)
        throw EInvalidGraphic(
            QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(toQ(ext)));
    std::unique_ptr<TGraphic> graphic = cls->create();
    graphic->loadFromFile(fileName);
    graphic_ = std::move(graphic);
}

void TPicture::registerFileFormat(const std::string& extension, const QString& description,
                                  const TGraphicClass& graphicClass) {
    auto& r = registry();
    std::lock_guard guard(r.lock);
    r.formats.push_back({toLowerAscii(extension), description, &graphicClass});
}

void TPicture::unregisterGraphicClass(const TGraphicClass& graphicClass) {
    auto& r = registry();
    std::lock_guard guard(r.lock);
    std::erase_if(r.formats,
                  [&](const TFileFormat& f) { return f.graphicClass->inheritsFrom(graphicClass); });
}

const TGraphicClass* TPicture::classForExtension(const std::string& extension) {
    const std::string ext = toLowerAscii(extension);
    auto& r = registry();
    std::lock_guard guard(r.lock);
    for (auto it = r.formats.rbegin(); it != r.formats.rend(); ++it)
        if (it->extension == ext)
            return it->graphicClass;
    return nullptr;
}

std::vector<TFileFormat> TPicture::fileFormats() {
    auto& r = registry();
    std::lock_guard guard(r.lock);
    return r.formats;
}

} // namespace kelvora

#pragma once
// The picture loader: holds one picture of any registered class, and keeps the
// process-wide list of file formats (extension, description, picture class).
// Loading a file picks the class registered last for the file's extension.

#include "base/graphic.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

struct TFileFormat {
    std::string extension; // lower case, without the dot
    QString description;
    const TGraphicClass* graphicClass;
};

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* graphic() const { return graphic_.get(); }
    void setGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    std::unique_ptr<TGraphic> takeGraphic() { return std::move(graphic_); }
    // A new picture of the same class as source, holding a copy of it; null clears.
    void assign(const TGraphic* source);
    void clear() { graphic_.reset(); }

    int width() const { return graphic_ ? graphic_->width() : 0; }
    int height() const { return graphic_ ? graphic_->height() : 0; }
    bool empty() const { return !graphic_ || graphic_->empty(); }
    void draw(QPainter& painter, const QRect& rect) const;

    // Raises EInvalidGraphic "拡張子 .%s の画像形式は処理できません" for an unknown
    // extension and the picture class's errors otherwise; on failure the picture
    // keeps what it held before.
    void loadFromFile(const std::string& fileName);

    static void registerFileFormat(const std::string& extension, const QString& description,
                                   const TGraphicClass& graphicClass);
    // Removes the class and every class derived from it.
    static void unregisterGraphicClass(const TGraphicClass& graphicClass);
    static const TGraphicClass* classForExtension(const std::string& extension);
    // Registered formats, oldest first.
    static std::vector<TFileFormat> fileFormats();

private:
    std::unique_ptr<TGraphic> graphic_;
};

// The extension of a file name in lower case, without the dot ("" when none).
std::string lowerExtension(const std::string& fileName);

} // namespace kelvora

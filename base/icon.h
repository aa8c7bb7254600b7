#pragma once
// Windows icons (.ico). A file holds the same picture in several sizes and
// depths; the icon is the largest of them, and of equal sizes the deepest.
// Entries are bitmaps with a transparency mask or PNG files; Qt's ICO reader
// decodes them, after the entry has been checked against the file's length and
// kMaxPicturePixels.

#include "base/graphic.h"

#include <string>

namespace kelvora {

class TIcon : public TGraphic {
public:
    TIcon() = default;

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    bool empty() const override { return image_.isNull(); }

    void draw(QPainter& painter, const QRect& rect) override;
    // The chosen entry in Format_ARGB32 (transparent where the mask says so).
    QImage image() override { return image_; }

    void loadFromStream(std::istream& in) override;
    // EInvalidGraphic "アイコン画像が不正です" when no entry of the file decodes;
    // the icon keeps its picture then.
    void loadFromBytes(const std::string& bytes);
    // Writes the file as it was loaded (an empty icon writes nothing).
    void saveToStream(std::ostream& out) override;
    void assign(const TGraphic& source) override;

private:
    std::string bytes_;
    QImage image_;
};

} // namespace kelvora

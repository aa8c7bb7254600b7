#pragma once
// Windows metafiles: .wmf (with or without the placeable header) and enhanced
// metafiles (.emf); which of the two a file is, its content decides.
//
// They are vector pictures played by outside converters from libwmf (wmf2svg)
// and libemf2svg (emf2svg-conv), each run as a separate process with a time
// and output limit, so that a hostile file can never crash or hang the
// program; Qt SVG draws the SVG they write.
//
// The natural size comes from the file's header where it says it: a placeable
// WMF's bounding box in its units per inch, an EMF's frame in 0.01 mm, both at
// 96 pixels an inch; a WMF without that header is as large as its drawing at
// the converter's scale. Sizes
// above kMaxMetafileSide on the long side are reduced to it, keeping the aspect.

#include "base/graphic.h"

#include <QByteArray>
#include <QSize>
#include <memory>
#include <string>

class QSvgRenderer;

namespace kelvora {

inline constexpr int kMaxMetafileSide = 4096;

class TMetafile : public TGraphic {
public:
    TMetafile();
    ~TMetafile() override;

    static const TGraphicClass& classInfo();
    const TGraphicClass& graphicClass() const override { return classInfo(); }

    int width() const override { return size_.width(); }
    int height() const override { return size_.height(); }
    bool empty() const override { return !renderer_; }
    // True for an enhanced metafile (EMF).
    bool enhanced() const { return enhanced_; }

    // Plays the picture as vectors into rect; the background stays as it is.
    void draw(QPainter& painter, const QRect& rect) override;
    // The picture at its natural size on white (Format_RGB32), rendered once.
    QImage image() override;

    void loadFromStream(std::istream& in) override;
    // EInvalidGraphic "メタファイルが不正です" for what is no metafile, and
    // "メタファイルを読み込めません" when the converter is missing, fails,
    // takes too long or writes no usable SVG; the metafile keeps its picture then.
    void loadFromBytes(const std::string& bytes);
    // Writes the file as it was loaded.
    void saveToStream(std::ostream& out) override;
    void assign(const TGraphic& source) override;

private:
    std::string bytes_;
    QByteArray svg_;
    std::unique_ptr<QSvgRenderer> renderer_;
    QSize size_;
    QImage image_; // rendered on first use
    bool enhanced_ = false;
};

} // namespace kelvora

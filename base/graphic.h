#pragma once
// The abstract picture: something that has a size, can be loaded and saved,
// and can draw itself stretched into a rectangle. The picture loader (TPicture)
// creates concrete pictures by file extension through their TGraphicClass.

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

class QPainter;

namespace kelvora {

class TGraphic;

// Run-time class information: lets the loader create a picture of a registered
// class and unregister a class together with the classes derived from it.
struct TGraphicClass {
    const char* name;
    const TGraphicClass* parent; // null for TGraphic itself
    std::function<std::unique_ptr<TGraphic>()> create;

    bool inheritsFrom(const TGraphicClass& other) const;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

// sender, stage, percent, redraw now, rectangle of rows done since the last report, message
using TProgressEvent =
    std::function<void(TGraphic&, TProgressStage, int, bool, const QRect&, const QString&)>;

class TGraphic {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;
    virtual ~TGraphic() = default;

    static const TGraphicClass& classInfo();
    virtual const TGraphicClass& graphicClass() const = 0;

    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void setWidth(int width);
    virtual void setHeight(int height);
    virtual bool empty() const = 0;

    // Draws the whole picture stretched into rect.
    virtual void draw(QPainter& painter, const QRect& rect) = 0;
    // The decoded pixels at the picture's own size (decoding first if needed);
    // a null image for an empty picture. Implicitly shared: no copy is made.
    virtual QImage image() = 0;
    virtual QList<QRgb> palette() const { return {}; }

    virtual void loadFromStream(std::istream& in) = 0;
    virtual void saveToStream(std::ostream& out) = 0;
    // Raise EFOpenError "ファイル %s は開けません" / EFCreateError "ファイル %s を作成できません".
    virtual void loadFromFile(const std::string& fileName);
    virtual void saveToFile(const std::string& fileName);

    // Takes over the picture of source; unsupported sources raise EConvertError.
    virtual void assign(const TGraphic& source);

    TProgressEvent onProgress;

protected:
    void progress(TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                  const QString& message = QString());
};

} // namespace kelvora

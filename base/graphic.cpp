#include "base/graphic.h"

#include "base/codepage.h"
#include "base/errors.h"
#include "base/file_io.h"

#include <fstream>

namespace kelvora {

bool TGraphicClass::inheritsFrom(const TGraphicClass& other) const {
    for (const TGraphicClass* c = this; c; c = c->parent)
        if (c == &other)
            return true;
    return false;
}

const TGraphicClass& TGraphic::classInfo() {
    static const TGraphicClass info{"TGraphic", nullptr, nullptr};
    return info;
}

void TGraphic::setWidth(int) {}
void TGraphic::setHeight(int) {}

void TGraphic::loadFromFile(const std::string& fileName) {
    std::ifstream in = openForReading(fileName);
    loadFromStream(in);
}

void TGraphic::saveToFile(const std::string& fileName) {
    std::ofstream out = createFile(fileName);
    saveToStream(out);
    finishFile(out, fileName);
}

void TGraphic::assign(const TGraphic& source) {
    throw EConvertError(QStringLiteral("%1 を %2 に代入できません")
                            .arg(QString::fromLatin1(source.graphicClass().name),
                                 QString::fromLatin1(graphicClass().name)));
}

void TGraphic::progress(TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                        const QString& message) {
    if (onProgress)
        onProgress(*this, stage, percent, redrawNow, rect, message);
}

} // namespace kelvora

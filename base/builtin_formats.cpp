#include "base/builtin_formats.h"

#include "base/bitmap.h"
#include "base/icon.h"
#include "base/metafile.h"
#include "base/picture.h"

#include <QLoggingCategory>

namespace kelvora {

void registerBuiltinFormats() {
    // Qt's readers tell a damaged file's details in English on the standard error
    // ("libpng error: Read Error"); what the user sees is the program's own message.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*.warning=false\n"
                                                    "qt.gui.imageio*.info=false"));
    TPicture::registerFileFormat("bmp", QStringLiteral("ビットマップ"), TBitmap::classInfo());
    TPicture::registerFileFormat("ico", QStringLiteral("アイコン"), TIcon::classInfo());
    TPicture::registerFileFormat("emf", QStringLiteral("拡張メタファイル"), TMetafile::classInfo());
    TPicture::registerFileFormat("wmf", QStringLiteral("メタファイル"), TMetafile::classInfo());
}

void unregisterBuiltinFormats() {
    TPicture::unregisterGraphicClass(TBitmap::classInfo());
    TPicture::unregisterGraphicClass(TIcon::classInfo());
    TPicture::unregisterGraphicClass(TMetafile::classInfo());
}

} // namespace kelvora

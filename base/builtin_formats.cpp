#include "base/builtin_formats.h"

#include "base/bitmap.h"
#include "base/icon.h"
#include "base/metafile.h"
#include "base/picture.h"

namespace kelvora {

void registerBuiltinFormats() {
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

#include "album/album_messages.h"

#include "album/album_texts.h"
#include "base/codepage.h"

namespace kelvora {

QString AlbumErrorText(const Exception& error) {
    QString text = error.message();
    if (const auto* picture = dynamic_cast<const EAlbumPicture*>(&error))
        text = toDisplayQ(picture->sourceFile()) + QStringLiteral(": ") + text;
    if (!error.detail().empty())
        text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(error.detail()));
    return text;
}

QString SkippedPicturesText(const TAlbumRunResult& result) {
    if (result.skipped.empty())
        return {};
    QString text = AlbumTexts::Text(AlbumTexts::SSkippedPictures).arg(result.skipped.size());
    for (const EAlbumPicture& picture : result.skipped)
        text += QLatin1Char('\n') + AlbumErrorText(picture);
    return text;
}

} // namespace kelvora

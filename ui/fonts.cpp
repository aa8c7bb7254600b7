#include "ui/fonts.h"

#include <QApplication>
#include <QFont>

namespace kelvora {

void applyInterfaceFont(QApplication& app) {
    const QString family = QStringLiteral("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(family,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
    QFont font(family);
    font.setPixelSize(12);
    app.setFont(font);
}

} // namespace kelvora

#include "shell/items/image_list.h"

#include <QFile>

// The resources of a static library are linked only when something refers to them.
static void initShellIconResources() {
    Q_INIT_RESOURCE(shell_icons);
}

namespace kelvora {

TShImageList& TShImageList::instance() {
    static TShImageList list;
    return list;
}

TShImageList::TShImageList() {
    initShellIconResources();
    add(QStringLiteral("application-x-generic"));
}

int TShImageList::add(const QString& name) {
    const int index = count();
    names_.push_back(name);
    indexes_.insert(name, index);
    return index;
}

int TShImageList::indexFor(const QStringList& names) {
    for (const QString& name : names) {
        if (name.isEmpty())
            continue;
        if (auto it = indexes_.constFind(name); it != indexes_.constEnd())
            return *it;
        auto known = available_.constFind(name);
        if (known == available_.constEnd())
            known = available_.insert(name, hasIcon(name));
        if (*known)
            return add(name);
    }
    return 0;
}

QString TShImageList::iconName(int index) const {
    return index >= 0 && index < count() ? names_[static_cast<std::size_t>(index)] : QString();
}

QIcon TShImageList::icon(int index) const {
    if (index < 0 || index >= count())
        return {};
    if (icons_.size() < names_.size())
        icons_.resize(names_.size());
    QIcon& icon = icons_[static_cast<std::size_t>(index)];
    if (icon.isNull())
        icon = themeIcon(names_[static_cast<std::size_t>(index)]);
    return icon;
}

QPixmap TShImageList::pixmap(int index, bool large) const {
    const int size = large ? kLargeSize : kSmallSize;
    return icon(index).pixmap(size, size);
}

QIcon TShImageList::overlay(int overlayIndex) const {
    switch (overlayIndex) {
    case kOverlayShared:
        return themeIcon(QStringLiteral("emblem-shared"));
    case kOverlayLink:
        return themeIcon(QStringLiteral("emblem-symbolic-link"));
    default:
        return {};
    }
}

void TShImageList::themeChanged() {
    icons_.clear();
    available_.clear();
}

QString TShImageList::fallbackIconPath(const QString& name) {
    return QStringLiteral(":/icons/kelvora/scalable/") + name + QStringLiteral(".svg");
}

bool TShImageList::hasFallbackIcon(const QString& name) {
    return QFile::exists(fallbackIconPath(name));
}

bool TShImageList::hasIcon(const QString& name) {
    return QIcon::hasThemeIcon(name) || hasFallbackIcon(name);
}

QIcon TShImageList::themeIcon(const QString& name) {
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    if (hasFallbackIcon(name))
        return QIcon(fallbackIconPath(name));
    return {};
}

} // namespace kelvora

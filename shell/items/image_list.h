#pragma once
// The system image list: icons of shell items by index. One index serves the
// small (16 px) and the large (32 px) list. Indexes are handed out once per icon
// name and never change; a theme change only renders the icons again.
//
// Icons come from the desktop's icon theme, else from the fallback theme
// in the program's resources, so that they resolve without a desktop (Qt's own
// fallback theme is not consulted when no theme is set at all, as off screen).
// GUI thread only.
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <vector>

namespace kelvora {

class TShImageList {
public:
    static TShImageList& instance();

    static constexpr int kSmallSize = 16;
    static constexpr int kLargeSize = 32;
    static constexpr int kOverlayShared = 0;
    static constexpr int kOverlayLink = 1;

    // The index of the first name that an icon exists for; 0 (a generic file)
    // when there is none.
    int indexFor(const QStringList& names);
    int indexFor(const QString& name) { return indexFor(QStringList{name}); }

    int count() const { return static_cast<int>(names_.size()); }
    QString iconName(int index) const;
    QIcon icon(int index) const; // null outside 0..count-1
    QPixmap pixmap(int index, bool large) const;
    // Overlay images by 0-based overlay index: 0 shared, 1 link.
    QIcon overlay(int overlayIndex) const;

    // Re-renders the icons from the current theme on next use.
    void themeChanged();

    // The icon of a name: the desktop theme's, else the fallback theme's, else null.
    static QIcon themeIcon(const QString& name);
    static bool hasIcon(const QString& name);
    static bool hasFallbackIcon(const QString& name);
    static QString fallbackIconPath(const QString& name);

private:
    TShImageList();
    int add(const QString& name);

    std::vector<QString> names_;
    QHash<QString, int> indexes_;
    QHash<QString, bool> available_;
    mutable std::vector<QIcon> icons_;
};

} // namespace kelvora

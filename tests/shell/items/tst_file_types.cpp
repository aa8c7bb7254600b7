// What the user reads about files whatever the process's locale: Japanese type
// names, dates and sizes; the natural order of names; icons that resolve
// without a desktop.
#include "shell/items/file_types.h"
#include "shell/items/image_list.h"

#include <QDateTime>
#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// Runs a test under an English default locale and restores the old one.
class EnglishLocale : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(saved_); }
    QLocale saved_;
};

using FileTypes = EnglishLocale;

std::int64_t localNanoseconds(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi)).toMSecsSinceEpoch() * 1000000;
}

} // namespace

TEST_F(FileTypes, TypeNamesAreJapaneseWhateverTheLocale) {
    EXPECT_EQ(ShFileTypeOfName("photo.jpg")->typeName, "JPEG 画像");
    EXPECT_EQ(ShFileTypeOfName("PHOTO.JPG")->typeName, "JPEG 画像"); // trailing blank trimmed
    EXPECT_EQ(ShFileTypeOfName("a.png")->typeName, "PNG 画像");
    EXPECT_EQ(ShFileTypeOfName("backup.tar.gz")->typeName, "Tar アーカイブ (gzip 圧縮)");
    EXPECT_EQ(ShFileTypeOfName("notes.gz")->typeName, "Gzip アーカイブ");
    EXPECT_EQ(ShFileTypeOfName("data.xyz")->typeName, "XYZ ファイル");
    EXPECT_EQ(ShFileTypeOfName("Data.Qq9")->typeName, "QQ9 ファイル");
    EXPECT_EQ(ShFileTypeOfName("noextension")->typeName, "ファイル");
    // Types the database knows only in English read as unknown ones do.
    EXPECT_EQ(ShFileTypeOfName("photo.avif")->typeName, "AVIF ファイル");
    EXPECT_EQ(ShFileTypeOfName("photo.jxl")->typeName, "JXL ファイル");
    EXPECT_EQ(ShFileTypeOfName("config.toml")->typeName, "TOML ファイル");
    EXPECT_TRUE(ShJapaneseComment(QStringLiteral("image/avif")).isEmpty());
    EXPECT_EQ(ShJapaneseComment(QStringLiteral("image/jpeg")), QStringLiteral("JPEG 画像"));
    EXPECT_EQ(ShFolderType()->typeName, "フォルダー");
    // The switch to Japanese does not leak into the rest of the program.
    EXPECT_EQ(QLocale().language(), QLocale::English);
}

TEST_F(FileTypes, OneTypeObjectPerExtension) {
    const PShFileType a = ShFileTypeOfName("a.jpg");
    EXPECT_EQ(ShFileTypeOfName("other name.jpg"), a);
    EXPECT_EQ(ShFileTypeOfName(".hidden.jpg"), a);
    EXPECT_NE(ShFileTypeOfName("a.JPG"), a); // globs may differ in case, so the key does too
    EXPECT_EQ(ShFileTypeOfName("a.JPG")->typeName, a->typeName);
    ASSERT_FALSE(a->iconNames.isEmpty());
    EXPECT_EQ(a->iconNames.front(), QStringLiteral("image-jpeg"));
    EXPECT_EQ(a->iconNames.back(), QStringLiteral("application-x-generic"));
}

TEST_F(FileTypes, DatesAndSizesAsAJapaneseUserWritesThem) {
    EXPECT_EQ(ShDateText(localNanoseconds(2001, 2, 3, 14, 5)), "2001/02/03 14:05");
    EXPECT_EQ(ShDateText(localNanoseconds(2024, 12, 31, 9, 7)), "2024/12/31 9:07");
    EXPECT_EQ(ShSizeText(0), "1KB");
    EXPECT_EQ(ShSizeText(1), "1KB");
    EXPECT_EQ(ShSizeText(1024), "1KB");
    EXPECT_EQ(ShSizeText(1025), "2KB");
    EXPECT_EQ(ShSizeText(1048576), "1,024KB");
    EXPECT_EQ(ShSizeText(5ULL * 1024 * 1024 * 1024), "5,242,880KB");
}

TEST(NameOrder, NaturalAndCaseInsensitive) {
    EXPECT_LT(ShSortKey("写真2").compare(ShSortKey("写真10")), 0);
    EXPECT_LT(ShSortKey("img9.jpg").compare(ShSortKey("IMG10.jpg")), 0);
    EXPECT_EQ(ShSortKey("abc").compare(ShSortKey("ABC")), 0); // the tie-break is the caller's
    EXPECT_LT(ShSortKey("abc").compare(ShSortKey("あいう")), 0);
}

TEST(ImageList, TheFallbackThemeResolvesWithoutADesktop) {
    const char* names[] = {
        "application-x-generic", "text-x-generic", "image-x-generic",     "folder",
        "folder-open",           "user-home",      "user-desktop",        "computer",
        "network-workgroup",     "user-trash",     "user-trash-full",     "drive-harddisk",
        "drive-removable-media", "drive-optical",  "emblem-symbolic-link"};
    TShImageList& list = TShImageList::instance();
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        EXPECT_TRUE(TShImageList::hasFallbackIcon(n)) << name;
        const int index = list.indexFor(n);
        EXPECT_EQ(list.iconName(index), n);
        for (bool large : {false, true}) {
            const QPixmap p = list.pixmap(index, large);
            ASSERT_FALSE(p.isNull()) << name;
            EXPECT_EQ(p.width(), large ? 32 : 16);
            // Drawn, not blank.
            const QImage img = p.toImage();
            bool painted = false;
            for (int y = 0; y < img.height() && !painted; ++y)
                for (int x = 0; x < img.width() && !painted; ++x)
                    painted = qAlpha(img.pixel(x, y)) > 0;
            EXPECT_TRUE(painted) << name;
        }
    }
}

TEST(ImageList, IndexesAreStableAndChainsFallBack) {
    TShImageList& list = TShImageList::instance();
    EXPECT_EQ(list.iconName(0), QStringLiteral("application-x-generic"));
    const int folder = list.indexFor(QStringLiteral("folder"));
    EXPECT_EQ(list.indexFor(
                  QStringList{QStringLiteral("no-such-icon-anywhere"), QStringLiteral("folder")}),
              folder);
    EXPECT_EQ(list.indexFor(QStringLiteral("no-such-icon-anywhere")), 0);
    const int count = list.count();
    list.themeChanged();
    EXPECT_EQ(list.indexFor(QStringLiteral("folder")), folder); // indexes survive a theme change
    EXPECT_EQ(list.count(), count);
    EXPECT_TRUE(list.icon(count).isNull());
    EXPECT_TRUE(list.icon(-1).isNull());
}

// The picture loader's format registry and its loading rules.
#include "base/bitmap.h"
#include "base/builtin_formats.h"
#include "base/errors.h"
#include "base/icon.h"
#include "base/metafile.h"
#include "base/picture.h"
#include "tests/base/picture_bytes.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kelvora;
using kelvora::test::TempDir;

namespace {

class TTestBitmap : public TBitmap {
public:
    static const TGraphicClass& classInfo() {
        static const TGraphicClass info{"TTestBitmap", &TBitmap::classInfo(),
                                        [] { return std::make_unique<TTestBitmap>(); }};
        return info;
    }
    const TGraphicClass& graphicClass() const override { return classInfo(); }
};

std::vector<std::string> extensions() {
    std::vector<std::string> out;
    for (const TFileFormat& f : TPicture::fileFormats())
        out.push_back(f.extension);
    return out;
}

// Every test starts with the built-in formats only.
class PictureRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        TPicture::unregisterGraphicClass(TGraphic::classInfo());
        registerBuiltinFormats();
    }
    void TearDown() override { TPicture::unregisterGraphicClass(TGraphic::classInfo()); }

    std::string bmpFile(const std::string& name, int width = 8, int height = 6) {
        return kelvora::test::saveImage(kelvora::test::patternImage(width, height), dir.file(name),
                                        "bmp");
    }

    TempDir dir;
};

} // namespace

TEST_F(PictureRegistry, BuiltinFormatsInOrder) {
    const std::vector<TFileFormat> formats = TPicture::fileFormats();
    ASSERT_EQ(formats.size(), 4u);
    const struct {
        const char* extension;
        QString description;
        const TGraphicClass* cls;
    } expected[] = {{"bmp", QStringLiteral("ビットマップ"), &TBitmap::classInfo()},
                    {"ico", QStringLiteral("アイコン"), &TIcon::classInfo()},
                    {"emf", QStringLiteral("拡張メタファイル"), &TMetafile::classInfo()},
                    {"wmf", QStringLiteral("メタファイル"), &TMetafile::classInfo()}};
    for (std::size_t i = 0; i < formats.size(); ++i) {
        EXPECT_EQ(formats[i].extension, expected[i].extension);
        EXPECT_EQ(formats[i].description, expected[i].description);
        EXPECT_EQ(formats[i].graphicClass, expected[i].cls);
    }
    unregisterBuiltinFormats();
    EXPECT_TRUE(TPicture::fileFormats().empty());
}

TEST_F(PictureRegistry, LastRegistrationWinsWhateverTheCase) {
    TPicture::registerFileFormat("BMP", QStringLiteral("test"), TTestBitmap::classInfo());
    EXPECT_EQ(TPicture::classForExtension("bmp"), &TTestBitmap::classInfo());
    EXPECT_EQ(TPicture::classForExtension("Bmp"), &TTestBitmap::classInfo());

    TPicture picture;
    picture.loadFromFile(bmpFile("PHOTO.BMP"));
    ASSERT_NE(picture.graphic(), nullptr);
    EXPECT_EQ(&picture.graphic()->graphicClass(), &TTestBitmap::classInfo());
    EXPECT_EQ(picture.width(), 8);
}

TEST_F(PictureRegistry, UnregisteringAClassRemovesItsDerivedClasses) {
    TPicture::registerFileFormat("tbm", QStringLiteral("test"), TTestBitmap::classInfo());
    TPicture::unregisterGraphicClass(TBitmap::classInfo());
    EXPECT_EQ(extensions(), (std::vector<std::string>{"ico", "emf", "wmf"}));
    EXPECT_EQ(TPicture::classForExtension("bmp"), nullptr);
    EXPECT_EQ(TPicture::classForExtension("tbm"), nullptr);
}

TEST_F(PictureRegistry, UnknownExtensionAndMissingFileMessages) {
    TPicture picture;
    try {
        picture.loadFromFile(dir.file("notes.xyz"));
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.message(), QStringLiteral("拡張子 .xyz の画像形式は処理できません"));
    }
    // A missing file, and a folder whose name looks like a picture's.
    std::filesystem::create_directory(dir.file("folder.bmp"));
    for (const std::string& unreadable : {dir.file("missing.bmp"), dir.file("folder.bmp")}) {
        try {
            picture.loadFromFile(unreadable);
            ADD_FAILURE() << "loaded " << unreadable;
        } catch (const EFOpenError& e) {
            EXPECT_EQ(
                e.message(),
                QStringLiteral("ファイル %1 は開けません").arg(QString::fromStdString(unreadable)));
        }
    }
}

TEST_F(PictureRegistry, FailedLoadKeepsThePreviousPicture) {
    TPicture picture;
    picture.loadFromFile(bmpFile("good.bmp", 7, 5));
    TGraphic* before = picture.graphic();
    EXPECT_THROW(picture.loadFromFile(dir.write("bad.bmp", "BM and nothing else")),
                 EInvalidGraphic);
    EXPECT_THROW(picture.loadFromFile(dir.file("gone.bmp")), EFOpenError);
    EXPECT_THROW(picture.loadFromFile(dir.write("a.xyz", "?")), EInvalidGraphic);
    EXPECT_EQ(picture.graphic(), before);
    EXPECT_EQ(picture.width(), 7);
    EXPECT_EQ(picture.height(), 5);
}

TEST_F(PictureRegistry, EachBuiltinExtensionMakesItsClass) {
    TPicture picture;
    picture.loadFromFile(bmpFile("a.bmp"));
    EXPECT_EQ(&picture.graphic()->graphicClass(), &TBitmap::classInfo());
    const std::string ico = kelvora::test::makeIco(
        {{1, 1, 32,
          kelvora::test::iconBitmapEntry(
              {1, 1, 32, {}, {"\x10\x20\x30\xFF"}, {std::string(1, '\0')}})}});
    picture.loadFromFile(dir.write("a.ico", ico));
    EXPECT_EQ(&picture.graphic()->graphicClass(), &TIcon::classInfo());
    EXPECT_EQ(picture.width(), 1);
    EXPECT_EQ(picture.graphic()->image().pixel(0, 0), qRgb(0x30, 0x20, 0x10));
}

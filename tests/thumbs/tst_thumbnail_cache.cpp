// The shared cache's rules: names as GLib makes them, the URI and MTime keys,
// reuse of a valid thumbnail whoever wrote it, replacement of stale or hostile
// cache files, fail entries, and nothing made of the cache's own pictures.
#include "tests/spi/spi_test_support.h"
#include "tests/support/images.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watchdog.h"
#include "tests/thumbs/thumbs_support.h"
#include "thumbs/fail_entry.h"
#include "thumbs/thumbnail_png.h"
#include "thumbs/thumbnail_source.h"
#include "thumbs/thumbnail_uri.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {
namespace {
using namespace test;

struct CacheTest : testing::Test {
    CacheTest() { useBuiltDecoder(); }
    TempDir pictures;
    TempDir home;
    const std::string root = home.path() + "/thumbnails";
    TThumbnailSource source{root};

    std::string normalPath(const std::string& picture) const {
        return root + "/normal/" + ThumbnailFileName(ThumbnailUri(picture));
    }
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

TEST(ThumbnailNames, UriAndNameAreGLibs) {
    // The URIs are what GLib 2.74's g_filename_to_uri returns for these paths.
    struct Row {
        std::string path, uri, md5;
    } rows[] = {
        // printf '%s' 'file:///tmp/a%20b.jpg' | md5sum
        {"/tmp/a b.jpg", "file:///tmp/a%20b.jpg", "45f1b47640b52dc5428fd58ac89fec15"},
        // printf '%s' 'file:///tmp/%E5%86%99%E7%9C%9F/%E7%8C%AB.jpg' | md5sum
        {"/tmp/写真/猫.jpg", "file:///tmp/%E5%86%99%E7%9C%9F/%E7%8C%AB.jpg",
         "9e33f8af84cd5e3c66f6db5a3797a15d"},
        // the same name in CP932: the name's bytes count, whatever the code page
        {"/tmp/\x8E\xCA\x90\x5E/\x94\x4C.jpg", "file:///tmp/%8E%CA%90%5E/%94L.jpg", ""},
        // bytes no code page makes text of: printf '%s' 'file:///tmp/%FF%80.jpg' | md5sum
        {"/tmp/\xFF\x80.jpg", "file:///tmp/%FF%80.jpg", "f9e2f63118e4fe7c41009d876d8e5b19"},
        // printf '%s' 'file:///tmp/100%25%23%3F.jpg' | md5sum
        {"/tmp/100%#?.jpg", "file:///tmp/100%25%23%3F.jpg", "5b10aa3a0eff3e1296238bcdcd8cd61d"},
        // what GLib leaves as it is, and what it encodes among the printable bytes
        {"/a-._~!$&'()*+,:=@Z9/\"<>[\\]^`{|};",
         "file:///a-._~!$&'()*+,:=@Z9/%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%3B", ""},
        {"/x\ty\x7F", "file:///x%09y%7F", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ThumbnailUri(r.path), r.uri) << r.path;
        if (!r.md5.empty()) {
            EXPECT_EQ(ThumbnailFileName(r.uri), r.md5 + ".png") << r.path;
        }
    }
    // A relative path is the working folder's.
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    EXPECT_EQ(ThumbnailUri("p.jpg"), ThumbnailUri(std::string(cwd) + "/p.jpg"));
}

TEST(ThumbnailNames, CacheRootFollowsXdgCacheHome) {
    struct Row {
        std::optional<std::string> xdg;
        std::string root;
    } rows[] = {{"/var/cache/u", "/var/cache/u/thumbnails"},
                {"relative/cache", "/home/u/.cache/thumbnails"},
                {"", "/home/u/.cache/thumbnails"},
                {std::nullopt, "/home/u/.cache/thumbnails"}};
    for (const Row& r : rows) {
        ScopedEnv env;
        env.set("HOME", "/home/u");
        env.set("XDG_CACHE_HOME", r.xdg);
        EXPECT_EQ(ThumbnailCacheRoot(), r.root) << r.xdg.value_or("(unset)");
    }
}

TEST(ThumbnailKeys, UriAndWholeSecondsDecide) {
    const std::string uri = "file:///p/a.jpg";
    struct Row {
        std::string uri, mtime;
        bool valid;
    } rows[] = {{uri, "1700000000", true},
                {uri, "1700000000.75", true}, // whole seconds count
                {uri, "1700000001", false},
                {uri, "1699999999", false},
                {uri, "", false},
                {uri, "abc", false},
                {"file:///p/a.jpg ", "1700000000", false},
                {"file:///p/b.jpg", "1700000000", false},
                {"", "1700000000", false}};
    for (const Row& r : rows)
        EXPECT_EQ(ThumbnailMatches({QImage(), r.uri, r.mtime}, uri, 1700000000), r.valid)
            << r.uri << " " << r.mtime;
}

TEST_F(CacheTest, MadeThumbnailIsStoredWithItsKeysAndReadBackWithoutDecoding) {
    const std::string picture =
        writeJpeg(pictures, "写真 1.jpg", plainImage(400, 300, qRgb(200, 0, 0)));
    setModified(picture, 1700000000);

    const std::optional<QImage> made = source.Get(picture, 128);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->size(), QSize(128, 96));
    EXPECT_EQ(source.Decodes(), 1);

    const std::string stored = normalPath(picture);
    EXPECT_EQ(modeOf(stored) & 07777, 0600u);
    EXPECT_TRUE(S_ISREG(modeOf(stored)));
    EXPECT_EQ(modeOf(root) & 07777, 0700u);
    EXPECT_EQ(modeOf(root + "/normal") & 07777, 0700u);
    const auto keys = pngTextChunks(readFile(stored));
    EXPECT_EQ(keys.at("Thumb::URI"), ThumbnailUri(picture));
    EXPECT_EQ(keys.at("Thumb::MTime"), "1700000000");
    EXPECT_EQ(keys.at("Thumb::Size"), std::to_string(readFile(picture).size()));
    EXPECT_EQ(keys.at("Thumb::Image::Width"), "400");
    EXPECT_EQ(keys.at("Thumb::Image::Height"), "300");
    EXPECT_EQ(keys.at("Software"), "Kelvora 4.0.0");
    // No temporary file is left beside it.
    const auto entries = std::filesystem::directory_iterator(root + "/normal");
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);

    // Read back, as Get and as Cached, without another decode.
    const std::optional<QImage> again = source.Get(picture, 128);
    const std::optional<QImage> cached = source.Cached(picture, 128);
    ASSERT_TRUE(again && cached);
    EXPECT_EQ(*again, *made);
    EXPECT_EQ(made->format(), QImage::Format_RGB32);
    EXPECT_EQ(cached->size(), QSize(128, 96));
    EXPECT_EQ(source.Decodes(), 1);

    // A smaller size is the normal thumbnail scaled down; 256 is the large one.
    EXPECT_EQ(source.Get(picture, 96)->size(), QSize(96, 72));
    EXPECT_EQ(source.Decodes(), 1);
    EXPECT_EQ(source.Get(picture, 256)->size(), QSize(256, 192));
    EXPECT_EQ(source.Decodes(), 2);
    EXPECT_TRUE(fileExists(root + "/large/" + ThumbnailFileName(ThumbnailUri(picture))));

    // Cached never decodes: a file without a thumbnail gives nothing.
    const std::string other = writeJpeg(pictures, "other.jpg", plainImage(40, 30, qRgb(0, 0, 200)));
    EXPECT_FALSE(source.Cached(other, 128));
    EXPECT_EQ(source.Decodes(), 2);
    // A small picture is never scaled up.
    const std::optional<QImage> small = source.Get(other, 128);
    EXPECT_EQ(small->size(), QSize(40, 30));
    EXPECT_EQ(small->format(), QImage::Format_RGB32);
}

TEST_F(CacheTest, ForeignValidThumbnailIsUsedAsItIsAndNeverRewritten) {
    const std::string picture = writeJpeg(pictures, "a.jpg", plainImage(400, 300, qRgb(200, 0, 0)));
    setModified(picture, 1700000000);
    // Another program's thumbnail, through Qt's writer (its long URI text goes in
    // compressed), with a colour that the picture does not have.
    makeDirAt(root + "/normal");
    const std::string stored = normalPath(picture);
    saveForeignThumbnail(stored, plainImage(128, 96, qRgb(0, 160, 0)), ThumbnailUri(picture),
                         "1700000000");
    setModified(stored, 1600000000);
    const std::string bytes = readFile(stored);

    const std::optional<QImage> got = source.Get(picture, 128);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->pixel(64, 48), qRgb(0, 160, 0));
    EXPECT_EQ(source.Decodes(), 0);
    EXPECT_EQ(readFile(stored), bytes);
    EXPECT_EQ(modifiedOf(stored), 1600000000);
}

TEST_F(CacheTest, StaleOrHostileCacheFileIsReplaced) {
    struct Row {
        const char* what;
        std::function<void(const std::string& stored, const std::string& uri)> make;
    } rows[] = {
        {"wrong MTime",
         [](const std::string& stored, const std::string& uri) {
             saveForeignThumbnail(stored, plainImage(128, 96, 0), uri, "1699999999");
         }},
        {"wrong URI",
         [](const std::string& stored, const std::string& uri) {
             saveForeignThumbnail(stored, plainImage(128, 96, 0), uri + "x", "1700000000");
         }},
        {"a picture far larger than a thumbnail, in few bytes",
         [](const std::string& stored, const std::string& uri) {
             QImage bomb(4000, 4000, QImage::Format_Mono); // 2 KiB as a PNG, 64 MiB decoded
             bomb.fill(0);
             saveForeignThumbnail(stored, bomb, uri, "1700000000");
         }},
        {"a valid thumbnail in a file of 4 MiB",
         [](const std::string& stored, const std::string& uri) {
             saveForeignThumbnail(stored, plainImage(128, 96, 0), uri, "1700000000");
             writeFileAt(stored, readFile(stored) + std::string(4 << 20, '\0'));
         }},
        {"a FIFO", [](const std::string& stored, const std::string&) { makeFifoAt(stored); }},
        {"a link to /dev/zero",
         [](const std::string& stored, const std::string&) { makeLinkAt("/dev/zero", stored); }},
        {"no PNG",
         [](const std::string& stored, const std::string&) { writeFileAt(stored, "GIF89a"); }},
    };
    int decodes = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string picture = writeJpeg(pictures, std::to_string(decodes) + ".jpg",
                                              plainImage(400, 300, qRgb(200, 0, 0)));
        setModified(picture, 1700000000);
        const std::string stored = normalPath(picture);
        makeDirAt(root + "/normal");
        r.make(stored, ThumbnailUri(picture));
        {
            Watchdog guard(r.what, 20);
            const std::optional<QImage> got = source.Get(picture, 128);
            ASSERT_TRUE(got);
            // The picture's red, not what the cache file held.
            const QRgb centre = got->pixel(64, 48);
            EXPECT_TRUE(qRed(centre) > 150 && qGreen(centre) < 60 && qBlue(centre) < 60);
        }
        EXPECT_EQ(source.Decodes(), ++decodes);
        EXPECT_TRUE(S_ISREG(modeOf(stored)));
        const auto keys = pngTextChunks(readFile(stored));
        EXPECT_EQ(keys.at("Software"), "Kelvora 4.0.0");
        EXPECT_EQ(keys.at("Thumb::MTime"), "1700000000");
    }
}

TEST_F(CacheTest, UnreadablePictureGetsFailEntryUntilItChanges) {
    // A picture whose header claims 65000 x 65000 pixels: far more than is decoded.
    std::string absurd = readFile(writeJpeg(pictures, "small.jpg", plainImage(16, 16, 0)));
    const auto sof = absurd.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    absurd.replace(sof + 5, 4, "\xFD\xE8\xFD\xE8");
    struct Row {
        const char* what;
        std::string bytes;
    } rows[] = {{"no JPEG at all", "this is not a picture"}, {"absurdly large", absurd}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TempDir cache;
        TThumbnailSource fresh(cache.path() + "/thumbnails");
        const std::string picture = pictures.write(std::string(r.what) + ".jpg", r.bytes);
        setModified(picture, 1700000000);

        EXPECT_FALSE(fresh.Get(picture, 128));
        EXPECT_EQ(fresh.Decodes(), 1);
        const std::string name = ThumbnailFileName(ThumbnailUri(picture));
        const std::string entry = cache.path() + "/thumbnails/fail/kelvora-4.0.0/" + name;
        ASSERT_TRUE(fileExists(entry));
        EXPECT_EQ(modeOf(entry) & 07777, 0600u);
        const auto keys = pngTextChunks(readFile(entry));
        EXPECT_EQ(keys.at("Thumb::URI"), ThumbnailUri(picture));
        EXPECT_EQ(keys.at("Thumb::MTime"), "1700000000");
        EXPECT_EQ(QImage(QString::fromStdString(entry)).size(), QSize(1, 1));
        EXPECT_FALSE(fileExists(cache.path() + "/thumbnails/normal/" + name));

        // Honoured while the file is unchanged: no second decode.
        EXPECT_FALSE(fresh.Get(picture, 128));
        EXPECT_EQ(fresh.Decodes(), 1);
        // A changed file is tried again...
        setModified(picture, 1700000005);
        EXPECT_FALSE(fresh.Get(picture, 128));
        EXPECT_EQ(fresh.Decodes(), 2);
        // ...and once it is a picture, it has a thumbnail.
        writeFileAt(picture, readFile(writeJpeg(pictures, "good.jpg", plainImage(64, 48, 0))));
        setModified(picture, 1700000010);
        EXPECT_EQ(fresh.Get(picture, 128)->size(), QSize(64, 48));
        EXPECT_EQ(fresh.Decodes(), 3);
    }
}

TEST_F(CacheTest, CacheThatCannotBeWrittenStillGivesThumbnails) {
    // A cache under a file: no folder can be made there, whoever runs the test.
    TThumbnailSource unwritable(writeFileAt(home.file("file"), "x") + "/thumbnails");
    const std::string picture = writeJpeg(pictures, "a.jpg", plainImage(400, 300, 0));
    const std::string broken = pictures.write("b.jpg", "no picture");
    for (int round = 1; round <= 2; ++round) {
        EXPECT_EQ(unwritable.Get(picture, 128)->size(), QSize(128, 96));
        EXPECT_FALSE(unwritable.Get(broken, 128));
        EXPECT_EQ(unwritable.Decodes(), 2 * round);
    }
}

TEST_F(CacheTest, PicturesInsideTheCacheAreNeverThumbnailed) {
    const QImage red = plainImage(64, 48, qRgb(200, 0, 0));
    makeDirAt(root + "/normal");
    const std::string inside = saveImage(red, root + "/normal/inside.jpg", "jpg");
    const std::string link = makeLinkAt(inside, pictures.file("link.jpg"));
    const std::string rootLink = makeLinkAt(root, home.file("cache-link"));
    TThumbnailSource throughLink(rootLink);
    EXPECT_FALSE(source.Get(inside, 128));
    EXPECT_FALSE(source.Get(link, 128));
    EXPECT_FALSE(throughLink.Get(inside, 128));
    EXPECT_FALSE(source.Cached(inside, 128));
    EXPECT_EQ(source.Decodes() + throughLink.Decodes(), 0);
    // A folder beside the cache whose name starts like it is outside.
    const std::string beside = saveImage(red, makeDirAt(root + "-2") + "/b.jpg", "jpg");
    EXPECT_TRUE(source.Get(beside, 128));
}

} // namespace
} // namespace kelvora

// Re-running an album: only what changed is converted, what left goes to the
// trash, and two runs of one album cannot interleave.
#include "album/album_run.h"
#include "album/run_record.h"
#include "base/errors.h"
#include "tests/support/images.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Identity {
    ino_t ino;
    std::int64_t mtime;
    bool operator==(const Identity&) const = default;
};

// The pictures of an album by name ("large/L0.jpg"), with what tells a rewrite.
std::map<std::string, Identity> identities(const std::string& site) {
    std::map<std::string, Identity> files;
    for (const char* folder : {"large", "Small"}) {
        if (!fs::exists(site + "/" + folder))
            continue;
        for (const auto& e : fs::directory_iterator(site + "/" + folder)) {
            struct stat st;
            ::stat(e.path().c_str(), &st);
            files[fs::relative(e.path(), site).string()] = {
                st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
        }
    }
    return files;
}

std::map<std::string, std::string> pictureBytes(const std::string& site) {
    std::map<std::string, std::string> files;
    for (const auto& [name, id] : identities(site))
        files[name] = readFile(site + "/" + name);
    return files;
}

// The outputs whose file is another than before (a new inode or mtime).
std::set<std::string> rewritten(const std::map<std::string, Identity>& before,
                                const std::map<std::string, Identity>& after) {
    std::set<std::string> names;
    for (const auto& [name, id] : after)
        if (!before.count(name) || before.at(name) != id)
            names.insert(name);
    return names;
}

// An album in a temporary folder, with the user's folders there too.
struct Album {
    TempDir dir;
    ScopedEnv env;
    std::string site = dir.file("site");
    std::string page = dir.file("site/album.html");
    std::vector<std::string> pictures;

    Album() {
        env.set("HOME", dir.file("home"));
        env.set("XDG_CACHE_HOME", dir.file("home/.cache"));
        env.set("XDG_DATA_HOME", dir.file("home/.local/share"));
        env.set("XDG_RUNTIME_DIR", std::nullopt);
        for (unsigned i = 0; i < 3; ++i)
            pictures.push_back(photo("p" + std::to_string(i) + ".jpg", 60 + 10 * i, 40, i));
    }
    std::string photo(const std::string& name, int w, int h, unsigned seed) const {
        return dir.write("pics/" + name, encodeWithCjpeg(photoLike(w, h, seed), {}));
    }
    TAlbumJob job(const std::vector<std::string>& list, const std::string& options = "",
                  const std::string& pageName = "") const {
        dir.write("Option.ini", options);
        TStringList sources;
        for (const std::string& p : list)
            sources.add(p);
        return MakeAlbumJob(pageName.empty() ? page : pageName, sources, dir.file("Option.ini"));
    }
    TAlbumRunResult run(const std::vector<std::string>& list, const std::string& options = "",
                        bool rebuild = false) const {
        TAlbumJob j = job(list, options);
        j.rebuild = rebuild;
        return RunAlbum(j, {}, 2);
    }
    // The pictures a first run, with nothing to reuse, makes of the same list.
    std::map<std::string, std::string> fresh(const std::vector<std::string>& list,
                                             const std::string& options = "") const {
        RunAlbum(job(list, options, dir.file("fresh/album.html")), {}, 1);
        auto bytes = pictureBytes(dir.file("fresh"));
        fs::remove_all(dir.file("fresh"));
        return bytes;
    }
    std::vector<std::string> trashed() const {
        std::vector<std::string> names;
        const std::string files = dir.file("home/.local/share/Trash/files");
        if (fs::exists(files))
            for (const auto& e : fs::directory_iterator(files))
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST(AlbumRerun, ConvertsExactlyWhatChanged) {
    const std::string smaller = "[Small]\r\nQuality=60\r\n";
    const struct {
        const char* change;
        std::function<std::string(Album&)> make; // the options of the second run
        std::set<std::string> expected;
        bool rebuild = false;
    } cases[] = {
        {"nothing", [](Album&) { return ""; }, {}},
        {"one source's bytes",
         [](Album& a) {
             a.photo("p1.jpg", 70, 40, 9);
             return "";
         },
         {"large/L1.jpg", "Small/S1.jpg"}},
        {"one source's mtime",
         [](Album& a) {
             fs::last_write_time(a.pictures[2], fs::last_write_time(a.pictures[2]) - 1h);
             return "";
         },
         {"large/L2.jpg", "Small/S2.jpg"}},
        {"a small setting",
         [&](Album&) { return smaller; },
         {"Small/S0.jpg", "Small/S1.jpg", "Small/S2.jpg"}},
        {"a removed output",
         [](Album& a) {
             fs::remove(a.site + "/large/L2.jpg");
             return "";
         },
         {"large/L2.jpg"}},
        {"an output the user replaced",
         [](Album& a) {
             writeFileAt(a.site + "/Small/S0.jpg", "the user's own");
             return "";
         },
         {"Small/S0.jpg"}},
        {"a lost record",
         [](Album& a) {
             fs::remove(RunRecordPath(a.page));
             return "";
         },
         {"large/L0.jpg", "large/L1.jpg", "large/L2.jpg", "Small/S0.jpg", "Small/S1.jpg",
          "Small/S2.jpg"}},
        {"a damaged record",
         [](Album& a) {
             std::string record = readFile(RunRecordPath(a.page));
             record[record.size() / 2] ^= 1;
             writeFileAt(RunRecordPath(a.page), record);
             return "";
         },
         {"large/L0.jpg", "large/L1.jpg", "large/L2.jpg", "Small/S0.jpg", "Small/S1.jpg",
          "Small/S2.jpg"}},
        {"a rebuild",
         [](Album&) { return ""; },
         {"large/L0.jpg", "large/L1.jpg", "large/L2.jpg", "Small/S0.jpg", "Small/S1.jpg",
          "Small/S2.jpg"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Album a;
        a.run(a.pictures);
        const auto before = identities(a.site);
        const std::string oldPage = readFile(a.page);
        const std::string options = c.make(a);
        const TAlbumRunResult result = a.run(a.pictures, options, c.rebuild);
        EXPECT_EQ(rewritten(before, identities(a.site)), c.expected);
        EXPECT_EQ(result.outputsConverted, static_cast<int>(c.expected.size()));
        EXPECT_EQ(result.outputsKept, 6 - static_cast<int>(c.expected.size()));
        EXPECT_TRUE(result.notTrashed.empty());
        // The album is the one a first run makes, and the page is always written.
        EXPECT_EQ(pictureBytes(a.site), a.fresh(a.pictures, options));
        EXPECT_EQ(readFile(a.page), oldPage);
        EXPECT_TRUE(a.trashed().empty());
    }
}

TEST(AlbumRerun, PicturesThatLeftGoToTheTrashAndNothingElse) {
    Album a;
    a.run(a.pictures);
    writeFileAt(a.site + "/large/mine.jpg", "the user's own picture");
    writeFileAt(a.site + "/Small/S9.jpg", "named like ours, never made by a run");
    // Changed by the user since: no longer what the run made, so it stays.
    writeFileAt(a.site + "/Small/S2.jpg", "edited");

    const TAlbumRunResult result = a.run({a.pictures[0], a.pictures[1]});
    EXPECT_TRUE(result.notTrashed.empty());
    EXPECT_EQ(a.trashed(), std::vector<std::string>{"L2.jpg"});
    EXPECT_EQ(identities(a.site).size(), 7u); // L0 L1 mine S0 S1 S2 S9
    EXPECT_FALSE(fs::exists(a.site + "/large/L2.jpg"));
    EXPECT_EQ(readFile(a.site + "/large/mine.jpg"), "the user's own picture");
    EXPECT_EQ(readFile(a.site + "/Small/S2.jpg"), "edited");
    EXPECT_TRUE(fs::exists(a.site + "/Small/S9.jpg"));

    // Settings that move every picture elsewhere: the old folders' pictures go, the
    // user's stay, and a later run does not trash what it already trashed.
    a.run({a.pictures[0]}, "[Large]\r\nHeader=Big\r\n");
    EXPECT_EQ(a.trashed(), (std::vector<std::string>{"L0.jpg", "L1.jpg", "L2.jpg", "S1.jpg"}));
    EXPECT_TRUE(fs::exists(a.site + "/large/mine.jpg"));
    EXPECT_TRUE(fs::exists(a.site + "/large/Big0.jpg"));
}

TEST(AlbumRerun, MovedPicturesAreReusedUnderTheirNewNames) {
    Album a;
    const struct {
        const char* how;
        std::vector<int> order;
    } cases[] = {{"reversed", {2, 1, 0}}, {"the first taken out", {1, 2}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        a.run(a.pictures); // back to the first order
        const auto first = identities(a.site);
        std::vector<std::string> list;
        for (int i : c.order)
            list.push_back(a.pictures[static_cast<std::size_t>(i)]);
        const TAlbumRunResult result = a.run(list);
        EXPECT_EQ(result.outputsConverted, 0);
        EXPECT_EQ(result.outputsKept, 2 * static_cast<int>(list.size()));
        EXPECT_EQ(pictureBytes(a.site), a.fresh(list));
        // Each picture is the very file it was, under its new number.
        const auto after = identities(a.site);
        for (std::size_t k = 0; k < list.size(); ++k) {
            const std::string now = std::to_string(k);
            const std::string was = std::to_string(c.order[k]);
            EXPECT_EQ(after.at("large/L" + now + ".jpg").ino,
                      first.at("large/L" + was + ".jpg").ino);
            EXPECT_EQ(after.at("Small/S" + now + ".jpg").ino,
                      first.at("Small/S" + was + ".jpg").ino);
        }
    }
    EXPECT_EQ(a.trashed(), (std::vector<std::string>{"L2.jpg", "S2.jpg"}));
}

TEST(AlbumRerun, TheLaterOfTwoSameNamedPicturesStaysWon) {
    Album a;
    const std::string early =
        a.dir.write("pics/x/same.jpg", encodeWithCjpeg(photoLike(30, 30, 5), {}));
    const std::string late =
        a.dir.write("pics/y/same.jpg", encodeWithCjpeg(photoLike(50, 20, 6), {}));
    const std::string byName = "[Large]\r\nConsecutive=0\r\n[Small]\r\nConsecutive=0\r\n";
    a.run({early, late}, byName);
    const auto before = identities(a.site);
    ASSERT_EQ(before.size(), 2u);
    // The earlier picture changes: it loses its name anyway, so nothing is made.
    writeFileAt(early, encodeWithCjpeg(photoLike(30, 30, 7), {}));
    const TAlbumRunResult result = a.run({early, late}, byName);
    EXPECT_EQ(result.outputsConverted, 0);
    EXPECT_EQ(identities(a.site), before);
    EXPECT_EQ(pictureBytes(a.site), a.fresh({late}, byName));
}

TEST(AlbumRerun, TwoRunsOfOneAlbumDoNotInterleave) {
    Album a;
    a.run(a.pictures);
    const auto before = pictureBytes(a.site);
    TAlbumRun first(a.job({a.pictures[0]}), 1);
    first.convertPictures({});
    const struct {
        const char* what;
        std::string page, options;
    } cases[] = {
        {"the same page", a.page, ""},
        {"another page beside it", a.dir.file("site/other.html"), "[Small]\r\nFolder=thumbs\r\n"},
        {"a page elsewhere writing the same pictures' folder", a.dir.file("elsewhere/album.html"),
         "[Large]\r\nFolder=../site/large\r\n[Small]\r\nFolder=../site/Small\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            RunAlbum(a.job(a.pictures, c.options, c.page), {}, 1);
            ADD_FAILURE() << "the second run went on";
        } catch (const EInvalidOperation& e) {
            EXPECT_EQ(e.message().toStdString(), "このアルバムは作成中です: " + c.page);
        }
        EXPECT_EQ(pictureBytes(a.site), before);
        EXPECT_FALSE(fs::exists(a.dir.file("elsewhere")));
        EXPECT_FALSE(fs::exists(a.site + "/thumbs"));
    }
    first.finish({}, {});
    // Once the first run is over, the album is free again.
    EXPECT_NO_THROW(a.run(a.pictures));
}

// A picture that cannot be read any more is left out: the kept pictures after it
// move up under the numbered names, reusing the files the last run made, and the
// album is the one a first run of the kept pictures makes.
TEST(AlbumRerun, PicturesLeftOutMoveTheKeptOnesUp) {
    Album a;
    a.run(a.pictures);
    const std::map<std::string, Identity> before = identities(a.site);
    a.dir.write("pics/p1.jpg", "not a picture any more");
    TAlbumJob second = a.job(a.pictures);
    second.skipUnreadable = true;
    const TAlbumRunResult result = RunAlbum(second, {}, 2);

    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(result.skipped[0].sourceFile(), a.pictures[1]);
    EXPECT_EQ(result.outputsConverted, 0);
    const std::map<std::string, Identity> after = identities(a.site);
    EXPECT_EQ(after.at("large/L1.jpg").ino, before.at("large/L2.jpg").ino); // p2's file, moved up
    EXPECT_EQ(after.at("Small/S1.jpg").ino, before.at("Small/S2.jpg").ino);
    EXPECT_EQ(after.at("large/L0.jpg"), before.at("large/L0.jpg"));
    EXPECT_EQ(pictureBytes(a.site), a.fresh({a.pictures[0], a.pictures[2]}));
    EXPECT_EQ(a.trashed(), (std::vector<std::string>{"L2.jpg", "S2.jpg"}));
}

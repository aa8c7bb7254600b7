// The run as a user meets it: a failed or stopped run leaves the album that was
// there, nothing is written over a picture, settings that ask for nothing stop it
// early, and converting in parallel gives what one picture after another gives.
#include "album/album_run.h"
#include "album/output_paths.h"
#include "app/startup.h"
#include "base/errors.h"
#include "settings/inifile.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xdg_sandbox.h"

#include <QImage>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;
namespace fs = std::filesystem;

namespace {

// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;

class Formats : public ::testing::Environment {
public:
    void SetUp() override { registerPictureFormats(32); }
};
const auto* const formats = ::testing::AddGlobalTestEnvironment(new Formats);

// Every file below a folder, by relative path, with its bytes: the album on disk.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = fs::relative(e.path(), folder).string();
        files[rel] = e.is_directory() ? "<folder>" : readFile(e.path().string());
    }
    return files;
}

struct Album {
    TempDir dir;
    std::string page = dir.file("site/album.html");

    std::string jpeg(const std::string& name, int w, int h, unsigned seed,
                     const std::vector<std::string>& options = {}) const {
        return dir.write("pics/" + name, encodeWithCjpeg(photoLike(w, h, seed), options));
    }
    TAlbumJob job(const std::vector<std::string>& pictures, const std::string& options = "") const {
        dir.write("Option.ini", options);
        TStringList list;
        for (const std::string& p : pictures)
            list.add(p);
        return MakeAlbumJob(page, list, dir.file("Option.ini"));
    }
    // The first album, which later runs must leave as it is when they fail.
    void makeFirstAlbum() const {
        dir.write("site/keep.txt", "the user's own file");
        RunAlbum(
            job({jpeg("a.jpg", 60, 40, 1), jpeg("b.jpg", 50, 50, 2), jpeg("c.jpg", 40, 60, 3)}), {},
            2);
    }
};

// The message of the error a run raises, or "" when it raises none.
std::string failureOf(const TAlbumJob& job, int jobs, const std::atomic<bool>* stop = nullptr) {
    try {
        RunAlbum(job, {}, jobs, stop);
    } catch (const Exception& e) {
        return e.message().toStdString();
    }
    return {};
}

// A JPEG that decodes whole and only then fails: a second frame header before
// its end, which libjpeg meets when it finishes.
std::string failingAtTheEnd(const std::string& jpeg) {
    const auto sof = jpeg.find("\xFF\xC0");
    const std::size_t length = (static_cast<unsigned char>(jpeg[sof + 2]) << 8) |
                               static_cast<unsigned char>(jpeg[sof + 3]);
    return jpeg.substr(0, jpeg.size() - 2) + jpeg.substr(sof, length + 2) + "\xFF\xD9";
}

} // namespace

TEST(AlbumRun, FailureLeavesTheAlbumThatWasThere) {
    const struct {
        const char* cause;
        std::function<std::string(Album&)> fourthPicture; // its path
        std::function<std::string(Album&, const TAlbumJob&)> run;
        std::string expected; // the message, {dir} standing for the album's folder
    } cases[] = {
        {"a missing picture", [](Album& a) { return a.dir.file("pics/gone.jpg"); },
         [](Album&, const TAlbumJob& job) { return failureOf(job, 2); },
         "ファイル {dir}/pics/gone.jpg は開けません"},
        {"a folder named like a picture",
         [](Album& a) {
             fs::create_directories(a.dir.file("pics/x.jpg"));
             return a.dir.file("pics/x.jpg");
         },
         [](Album&, const TAlbumJob& job) { return failureOf(job, 2); },
         "ファイル {dir}/pics/x.jpg は開けません"},
        {"a broken picture", [](Album& a) { return a.dir.write("pics/bad.jpg", "\xFF\xD8 no"); },
         [](Album&, const TAlbumJob& job) { return failureOf(job, 1); }, "JPEG エラー #"},
        {"a full disk", [](Album& a) { return a.jpeg("d.jpg", 300, 200, 4); },
         [](Album&, const TAlbumJob& job) {
             const FileSizeLimit limit(700);
             return failureOf(job, 2);
         },
         "ファイル {dir}/site/large/L0.jpg を作成できません (File too large)"},
        {"a stop", [](Album& a) { return a.jpeg("d.jpg", 40, 40, 4); },
         [](Album&, const TAlbumJob& job) {
             std::atomic<bool> stop{true};
             return failureOf(job, 2, &stop);
         },
         "中止しました"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cause);
        Album a;
        a.makeFirstAlbum();
        const auto before = snapshot(a.dir.file("site"));
        // A different album: more pictures, other names, another folder.
        const TAlbumJob job =
            a.job({a.jpeg("n0.jpg", 70, 30, 7), a.jpeg("n1.jpg", 30, 70, 8),
                   a.jpeg("n2.jpg", 44, 44, 9), c.fourthPicture(a), a.jpeg("n4.jpg", 20, 20, 10)},
                  "[Small]\r\nFolder=thumbs/new\r\n");
        std::string expected = c.expected;
        if (const auto at = expected.find("{dir}"); at != std::string::npos)
            expected.replace(at, 5, a.dir.path());
        const std::string message = c.run(a, job);
        EXPECT_EQ(message.substr(0, expected.size()), expected);
        // Every byte as it was: no new picture, no temporary file, no new folder.
        EXPECT_EQ(snapshot(a.dir.file("site")), before);
    }
}

TEST(AlbumRun, NothingIsWrittenOverAPicture) {
    const struct {
        const char* how;
        const char* options;
        bool linkedFolder;
        bool pageIsPicture;
    } cases[] = {
        {"same path", "[Large]\r\nHeader=\r\nFolder=../pics\r\nConsecutive=0\r\n", false, false},
        {"same file through a link", "[Small]\r\nHeader=\r\nFolder=linked\r\nConsecutive=0\r\n",
         true, false},
        {"the page is a picture", "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Album a;
        const std::string photo = a.jpeg("beach.jpg", 40, 30, 1);
        fs::create_directories(a.dir.file("site"));
        if (c.linkedFolder)
            fs::create_directory_symlink(a.dir.file("pics"), a.dir.file("site/linked"));
        if (c.pageIsPicture)
            a.page = photo;
        const auto before = snapshot(a.dir.path());
        const std::string message = failureOf(a.job({photo}, c.options), 2);
        EXPECT_NE(message.find(photo), std::string::npos) << message;
        EXPECT_NE(message.find("元の画像"), std::string::npos) << message;
        auto after = snapshot(a.dir.path());
        after.erase("Option.ini");
        auto expected = before;
        expected.erase("Option.ini");
        EXPECT_EQ(after, expected);
    }
}

TEST(AlbumRun, SettingsThatAskForNothingStopBeforeAnythingIsWritten) {
    const struct {
        const char* options;
        const char* message;
    } cases[] = {
        {"[Large]\r\nRate=0\r\n",
         "設定 [Large] Rate=0 では画像を作れません (1 以上を指定してください)"},
        {"[Small]\r\nRate=-3\r\n",
         "設定 [Small] Rate=-3 では画像を作れません (1 以上を指定してください)"},
        {"[Large]\r\nPictureSizeMode=0\r\nHorizonal=0\r\n",
         "設定 [Large] Horizonal=0 では画像を作れません (1 以上を指定してください)"},
        {"[Small]\r\nPictureSizeMode=0\r\nVertical=-1\r\n",
         "設定 [Small] Vertical=-1 では画像を作れません (1 以上を指定してください)"},
    };
    for (const auto& c : cases) {
        Album a;
        const std::string photo = a.jpeg("a.jpg", 20, 20, 1);
        EXPECT_EQ(failureOf(a.job({photo}, c.options), 2), c.message);
        EXPECT_FALSE(fs::exists(a.dir.file("site")));
    }
}

TEST(AlbumRun, InParallelAsOneAfterAnother) {
    Album a;
    std::vector<std::string> pictures = {
        a.jpeg("baseline.jpg", 333, 201, 1),
        a.jpeg("progressive.jpg", 300, 400, 2, {"-progressive", "-sample", "1x1"}),
        a.jpeg("grey.jpg", 90, 60, 3, {"-grayscale"}),
        a.dir.write("pics/portrait.jpg",
                    withExifOrientation(encodeWithCjpeg(photoLike(120, 80, 4), {}), 6)),
        saveImage(patternImage(77, 33), a.dir.file("pics/drawing.bmp"), "bmp"),
        a.jpeg("one.jpg", 1, 1, 5),
        a.jpeg("strip.jpg", 1000, 1, 6),
    };
    std::map<std::string, std::string> results[2];
    for (int jobs : {1, 3}) {
        std::vector<int> positions;
        TAlbumRunHooks hooks;
        hooks.progress = [&](int position, int maximum) {
            EXPECT_EQ(maximum, 14);
            positions.push_back(position);
        };
        RunAlbum(a.job(pictures), hooks, jobs);
        std::vector<int> expected(15);
        std::iota(expected.begin(), expected.end(), 0);
        expected.push_back(0);
        EXPECT_EQ(positions, expected) << jobs << " jobs";
        results[jobs == 3] = snapshot(a.dir.file("site"));
        fs::remove_all(a.dir.file("site"));
    }
    EXPECT_EQ(results[0], results[1]);
    // The portrait is upright; nothing is empty.
    RunAlbum(a.job(pictures), {}, 2);
    EXPECT_EQ(QImage(QString::fromStdString(a.dir.file("site/large/L3.jpg"))).size(),
              QSize(40, 60));
    EXPECT_EQ(QImage(QString::fromStdString(a.dir.file("site/Small/S5.jpg"))).size(), QSize(1, 1));
    EXPECT_EQ(QImage(QString::fromStdString(a.dir.file("site/Small/S6.jpg"))).size(),
              QSize(300, 1));
}

TEST(AlbumRun, TheFirstFailingPictureInTheListIsReported) {
    Album a;
    const std::string late =
        a.dir.write("pics/late.jpg", failingAtTheEnd(encodeWithCjpeg(photoLike(1200, 900, 2), {})));
    const TAlbumJob job = a.job({a.jpeg("small.jpg", 30, 30, 1), late, a.dir.file("pics/gone.jpg"),
                                 a.jpeg("more.jpg", 30, 30, 3)});
    // The missing file fails at once while the picture before it is still being
    // decoded; the report is still about the earlier one.
    try {
        RunAlbum(job, {}, 2);
        FAIL() << "the run succeeded";
    } catch (const EAlbumPicture& e) {
        EXPECT_EQ(e.sourceFile(), late);
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("JPEG エラー #"))) << e.what();
        EXPECT_FALSE(e.detail().empty());
    }
    EXPECT_FALSE(fs::exists(a.dir.file("site")));
}

TEST(AlbumRun, LargestPicturesStartFirst) {
    const struct {
        const char* what;
        std::function<std::vector<std::string>(const Album&)> pictures;
        int largest;         // its index
        const char* failing; // the name of the picture whose error is reported, or null
    } cases[] = {
        {"a JPEG last",
         [](const Album& a) {
             return std::vector<std::string>{
                 a.jpeg("s0.jpg", 40, 30, 1), a.jpeg("s1.jpg", 64, 48, 2, {"-progressive"}),
                 a.jpeg("s2.jpg", 30, 40, 3), a.jpeg("big.jpg", 900, 700, 4)};
         },
         3, nullptr},
        {"a bitmap last",
         [](const Album& a) {
             return std::vector<std::string>{
                 a.jpeg("s0.jpg", 60, 60, 1), a.jpeg("s1.jpg", 50, 70, 2),
                 saveImage(photoLike(500, 400, 3), a.dir.file("pics/big.bmp"), "bmp")};
         },
         2, nullptr},
        {"after a failing picture",
         [](const Album& a) {
             return std::vector<std::string>{
                 a.dir.write("pics/bad.jpg",
                             failingAtTheEnd(encodeWithCjpeg(photoLike(40, 40, 1), {}))),
                 a.jpeg("s1.jpg", 50, 50, 2), a.jpeg("big.jpg", 900, 700, 3),
                 a.dir.file("pics/gone.jpg")};
         },
         2, "bad.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Album a;
        const std::vector<std::string> pictures = c.pictures(a);
        std::map<std::string, std::string> albums[2];
        for (const int jobs : {1, 2}) {
            std::vector<int> started;
            TAlbumRunHooks hooks;
            hooks.pictureStarted = [&](int index) { started.push_back(index); };
            try {
                RunAlbum(a.job(pictures), hooks, jobs);
                EXPECT_EQ(c.failing, nullptr);
            } catch (const EAlbumPicture& e) {
                ASSERT_NE(c.failing, nullptr) << e.what();
                EXPECT_EQ(e.sourceFile(), a.dir.file("pics/") + c.failing);
                EXPECT_TRUE(e.message().startsWith(QStringLiteral("JPEG エラー #"))) << e.what();
            }
            ASSERT_FALSE(started.empty());
            // One worker keeps the list's order, and so stops at the first failure.
            EXPECT_EQ(started.front(), jobs == 1 ? 0 : c.largest) << jobs << " jobs";
            if (jobs == 1 && c.failing) {
                EXPECT_EQ(started.size(), 1u);
            }
            if (fs::exists(a.dir.file("site"))) {
                albums[jobs - 1] = snapshot(a.dir.file("site"));
                fs::remove_all(a.dir.file("site"));
            }
        }
        EXPECT_EQ(albums[0], albums[1]);
        EXPECT_EQ(albums[1].empty(), c.failing != nullptr);
    }
}

TEST(AlbumRun, TemporariesOfAKilledRunAreRemovedByTheNext) {
    Album a;
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string stale = ".L0.jpg.kelvora-" + std::to_string(dead) + "-3.tmp";
    const std::string live = ".L1.jpg.kelvora-1-7.tmp"; // a process that runs
    a.dir.write("site/large/" + stale, "left by a killed run");
    a.dir.write("site/large/" + live, "still being written");
    a.dir.write("site/" + stale, "a page left behind");
    RunAlbum(a.job({a.jpeg("a.jpg", 20, 20, 1)}), {}, 1);
    EXPECT_FALSE(fs::exists(a.dir.file("site/large/" + stale)));
    EXPECT_FALSE(fs::exists(a.dir.file("site/" + stale)));
    EXPECT_TRUE(fs::exists(a.dir.file("site/large/" + live)));
}

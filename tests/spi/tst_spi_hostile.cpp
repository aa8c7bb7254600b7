// Plug-ins that attack the program: through the records they fill, the time
// they take, the memory files they hand over and the processes they leave
// behind; and files no plug-in can read.
#include "base/codepage.h"
#include "base/picture.h"
#include "spi/decoder/decoder_protocol.h"
#include "spi/decoder_process.h"
#include "spi/spi_bitmap.h"
#include "tests/spi/spi_test_support.h"
#include "tests/support/codepage_guard.h"
#include "tests/support/scoped_env.h"
#include "tests/support/unprivileged.h"
#include "tests/support/xdg_sandbox.h"

#include <QImage>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;
using namespace std::chrono_literals;

namespace {

// Album runs keep their records and locks, and trash, in a folder of the test's own.
const kelvora::test::XdgSandbox xdgSandbox;

const std::string kCouldNotDecode = "Susie Plugins could not decode";
const std::string kUnresponsive = "応答しないため読み込みませんでした";

// The message of the error the call raised, "" for none.
template <class F> std::string errorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.message().toStdString();
    }
    return {};
}

std::string cannotOpen(const std::string& path) {
    return "ファイル " + path + " は開けません";
}

// The lines test plug-ins append while this object lives ("<pid> <what>"); the
// processes they leave behind are killed at the end, whatever became of them.
class PluginMarks {
public:
    PluginMarks() { env_.set("KELVORA_TEST_PLUGIN_MARKS", dir_.file("marks")); }
    ~PluginMarks() {
        for (pid_t pid : pids("child"))
            ::kill(pid, SIGKILL);
    }
    std::vector<std::pair<pid_t, std::string>> lines() const {
        std::vector<std::pair<pid_t, std::string>> out;
        std::istringstream in(fileExists(dir_.file("marks")) ? readFile(dir_.file("marks")) : "");
        pid_t pid;
        std::string what;
        while (in >> pid && std::getline(in >> std::ws, what))
            out.emplace_back(pid, what);
        return out;
    }
    std::vector<pid_t> pids(const std::string& what) const {
        std::vector<pid_t> out;
        for (const auto& [pid, line] : lines())
            if (line == what)
                out.push_back(pid);
        return out;
    }
    // The first of the words that shows up within 10 s, or "".
    std::string waitFor(const std::vector<std::string>& words) const {
        for (int i = 0; i < 1000; ++i) {
            for (const auto& [pid, line] : lines())
                if (std::find(words.begin(), words.end(), line) != words.end())
                    return line;
            std::this_thread::sleep_for(10ms);
        }
        return {};
    }

private:
    TempDir dir_;
    ScopedEnv env_;
};

// Whether the process has ended (a zombie counts) within 5 s.
bool processEnds(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
        const std::string text = fileExists(stat) ? readFile(stat) : "";
        const auto close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z')
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Stored rows of the test plug-in's 24-bit pictures whose bytes differ from what it wrote.
int damagedRows(const void* bits, const TestPicture& p) {
    const auto* rows = static_cast<const unsigned char*>(bits);
    const std::size_t stride = (24 * static_cast<std::size_t>(p.width) + 31) / 32 * 4;
    int damaged = 0;
    for (int r = 0; r < p.height; ++r) {
        const int y = p.topDown ? r : p.height - 1 - r;
        const unsigned char* row = rows + static_cast<std::size_t>(r) * stride;
        for (int x = 0; x < p.width; ++x)
            if (row[3 * x] != static_cast<unsigned char>(x * 20) ||
                row[3 * x + 1] != static_cast<unsigned char>(y * 20) || row[3 * x + 2] != p.tag) {
                ++damaged;
                break;
            }
    }
    return damaged;
}

std::string fileName(const TSPI& spi) {
    return spi.FileName().substr(spi.FileName().rfind('/') + 1);
}

} // namespace

TEST(SPIHostile, PluginsAreListedInTheHelperAndNeverRunHere) {
    const CodePageGuard shiftJis(CodePage::Kind::Cp932); // texts are the code page's
    PluginMarks marks;
    Plugins p({"p1", "overrun", "crashinfo"});
    struct Row {
        const char* file;
        const char* kind;
        std::string about;
        std::vector<std::string> extensions;
    };
    const Row rows[] = {
        {"1-p1.spi", "TInSPI", "P1 test", {"*.pic"}},
        // It wrote 400 bytes, the first 399 letters: what a 256-byte buffer holds is kept.
        {"2-overrun.spi", "TInSPI", std::string(255, 'X'), {"*.ovr"}},
        {"3-crashinfo.spi", "TSPI", kUnresponsive, {}},
    };
    ASSERT_EQ(p.m.spis.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TSPI& spi = *p.m.spis.Items(i);
        SCOPED_TRACE(rows[i].file);
        EXPECT_EQ(fileName(spi), rows[i].file);
        EXPECT_STREQ(spi.spiClass().name, rows[i].kind);
        EXPECT_EQ(toQ(spi.About()).toStdString(), rows[i].about);
        EXPECT_EQ(spi.Extensions().items(), rows[i].extensions);
    }
    char text[8] = {};
    EXPECT_EQ(p.m.spis.Items(1)->GetPluginInfo(0, text, sizeof text), 4);
    EXPECT_STREQ(text, "00IN");
    EXPECT_EQ(errorOf([&] { p.m.spis.Items(2)->GetPluginInfo(0, text, sizeof text); }),
              "GetPluginInfoは[" + p.dir.file("3-crashinfo.spi") +
                  "]では使えないSusie Plugin APIです");

    // The overrunning plug-in still reads its pictures.
    TestPicture picture;
    picture.tag = 'O';
    TPicture loader;
    loader.loadFromFile(writeTestPicture(p.dir, "x.ovr", picture));
    EXPECT_EQ(loader.width(), 4);

    // Every library was loaded, each in a helper.
    std::string tags;
    for (const auto& [pid, line] : marks.lines()) {
        EXPECT_NE(pid, ::getpid()) << line;
        tags += line.back();
    }
    for (char tag : {'A', 'O', 'K'})
        EXPECT_NE(tags.find(tag), std::string::npos) << tag;
}

TEST(SPIHostile, ARecordOfAnotherLayoutStaysInItsSlot) {
    useBuiltDecoder();
    TempDir dir;
    for (const TestAction action : {TestAction::kGood, TestAction::kWideInfoRecord}) {
        SCOPED_TRACE(static_cast<int>(action));
        TestPicture picture;
        picture.action = action;
        const std::string file = writeTestPicture(dir, "x.pic", picture);
        TSPIDecoderProcess decoder({file, false, {}, {}}, 20s);
        PictureInfo info;
        EXPECT_EQ(decoder.GetPictureInfo(testPlugin("p1"), 0, info), 0);
        EXPECT_EQ(info.width, 4);
        EXPECT_EQ(info.height, 3);
        EXPECT_EQ(info.colorDepth, 24);
        // Where this layout has the handle, that one has padding and half a pointer.
        EXPECT_EQ(info.hInfo ? static_cast<const char*>(info.hInfo) : "",
                  std::string(action == TestAction::kGood ? "test picture" : ""));
        LocalFree(info.hInfo);
    }
}

TEST(SPIHostile, ALibraryThatHangsWhileListedCostsItsWaitOnce) {
    useBuiltDecoder();
    PluginMarks marks;
    TempDir dir, cache;
    ScopedEnv env;
    env.set("XDG_CACHE_HOME", cache.path());
    const std::string hang = copyPlugin(testPlugin("hanginfo"), dir, "hang.spi");
    copyPlugin(testPlugin("p1"), dir, "p1.spi");
    const auto later = [&] {
        struct stat st;
        ASSERT_EQ(::stat(hang.c_str(), &st), 0);
        const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 1, st.st_mtim.tv_nsec}};
        ASSERT_EQ(::utimensat(AT_FDCWD, hang.c_str(), times, 0), 0);
    };
    struct Step {
        const char* what;
        std::function<void()> before;
        std::string about;
        std::size_t listings; // of the hanging library so far
        bool remembered;
    };
    const Step steps[] = {
        {"first start: one wait", [] {}, kUnresponsive, 1, true},
        {"next start: not listed again", [] {}, kUnresponsive, 1, true},
        {"changed: listed again", later, kUnresponsive, 2, true},
        {"replaced by one that answers", [&] { copyPlugin(testPlugin("p2"), dir, "hang.spi"); },
         "P2 test", 2, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.before();
        ManagerScope m;
        m.spis.Timeout = 1s;
        m.search(dir.path() + "/*.spi");
        const int at = m.spis.IndexOf(hang);
        ASSERT_GE(at, 0);
        EXPECT_EQ(m.spis.Count(), 2);
        EXPECT_EQ(m.spis.Items(at)->About(), step.about);
        EXPECT_EQ(marks.pids("loaded G").size(), step.listings);
        const std::string memory = cache.file("kelvora/unresponsive-plugins");
        EXPECT_EQ(fileExists(memory) && readFile(memory).find(hang) != std::string::npos,
                  step.remembered);
    }
}

TEST(SPIHostile, ProgressForEverIsGivenUpAtTheTotalLimit) {
    Plugins p({"p1"});
    p.m.spis.Timeout = 1s;
    p.m.spis.TotalTimeout = 3s;
    TestPicture picture;
    picture.action = TestAction::kSlowProgress;
    const std::string file = writeTestPicture(p.dir, "slow.pic", picture);
    // Without the total limit only this handler would end the load.
    const auto start = std::chrono::steady_clock::now();
    int reports = 0;
    bool stoppedHere = false;
    TSPIGraphic graphic;
    graphic.onProgress = [&](TGraphic&, TProgressStage stage, int, bool, const QRect&,
                             const QString& message) {
        if (stage != TProgressStage::psRunning || !message.isEmpty())
            return;
        ++reports;
        if (std::chrono::steady_clock::now() - start > 15s) {
            stoppedHere = true;
            throw EAbort(QString());
        }
    };
    EXPECT_EQ(errorOf([&] { graphic.loadFromFile(file); }), kCouldNotDecode);
    EXPECT_FALSE(stoppedHere);
    EXPECT_GT(reports, 10); // each report restarted the wait for the next message
}

TEST(SPIHostile, AMemoryFileCannotBeCutUnderTheProgram) {
    useBuiltDecoder();
    struct Row {
        TestAction action;
        bool handedOver; // else the plug-in's process holds a writable mapping: no seal
    };
    for (const Row r : {Row{TestAction::kShrinkAfterHandOver, true},
                        Row{TestAction::kShrinkKeepingMapping, false}}) {
        SCOPED_TRACE(static_cast<int>(r.action));
        PluginMarks marks;
        TempDir dir;
        TestPicture picture;
        picture.width = 640; // a bits block of over 1 MiB: a memory file
        picture.height = 600;
        picture.action = r.action;
        const std::string bytes = testPictureBytes(picture);
        const std::string file = dir.write("big.pic", bytes);
        std::string header = bytes;
        header.resize(spidecoder::kHeaderSize, '\0');
        {
            TSPIDecoderProcess decoder({file, false, {}, header}, 20s);
            LocalBlock info;
            LocalBlock bits;
            bool missing = false;
            const std::string error = errorOf([&] {
                EXPECT_EQ(decoder.GetPicture(testPlugin("p1"), 0, false, info, bits, {}, missing),
                          0);
            });
            if (r.handedOver) {
                ASSERT_EQ(error, "");
                ASSERT_NE(bits, nullptr);
                // The process left behind has tried to cut the file the program maps.
                EXPECT_EQ(marks.waitFor({"shrunk", "refused"}), "refused");
                EXPECT_EQ(damagedRows(bits.get(), picture), 0);
            } else {
                EXPECT_EQ(error, "p1.spi:Susie Pluginが異常終了しました");
                EXPECT_EQ(bits, nullptr);
            }
        }
        // It ended with the helper, though it had left the helper's process group.
        const std::vector<pid_t> left = marks.pids("child");
        if (r.handedOver) {
            EXPECT_EQ(left.size(), 1u);
        }
        for (pid_t pid : left)
            EXPECT_TRUE(processEnds(pid)) << pid;
    }
}

TEST(SPIHostile, FilesThatCannotBeReadAreNamedWhateverTheFormat) {
    Plugins p({"p1"});
    p.m.spis.Timeout = 1s;
    const std::string missing = p.dir.file("missing.pic");
    const std::string folder = makeDirAt(p.dir.file("folder.pic"));
    const std::string fifo = p.dir.file("fifo.pic");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& path : {missing, folder, fifo}) {
        SCOPED_TRACE(path);
        for (bool throughLoader : {true, false}) {
            auto error = std::async(std::launch::async, [&] {
                return errorOf([&] {
                    if (throughLoader)
                        TPicture().loadFromFile(path);
                    else
                        TSPIBitmap().loadFromFile(path);
                });
            });
            if (error.wait_for(10s) != std::future_status::ready) {
                ADD_FAILURE() << "blocked";
                ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go on
            }
            EXPECT_EQ(error.get(), cannotOpen(path));
        }
    }

    // A picture only its owner may read, in an album made by another user.
    TempDir home;
    handToNobody(home.path(), 0755);
    handToNobody(p.dir.path(), 0755);
    home.write("config/Morvash/Susie.conf", "[Plug-in]\nPath=" + p.dir.path() + "\n");
    const std::string secret = writeTestPicture(p.dir, "secret.pic", TestPicture{});
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const CommandResult run = runAsNobody({"env", "XDG_CONFIG_HOME=" + home.file("config"),
                                           "XDG_CACHE_HOME=" + home.file("cache"),
                                           KELVORA_ALBUM_COMMAND, home.file("album.html"), secret});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find(cannotOpen(secret)), std::string::npos) << run.output;
}

TEST(SPIHostile, TheAlbumCommandOutlivesHostilePlugins) {
    struct Row {
        const char* plugin;
        TestPicture picture;
        const char* file;
    };
    TestPicture overrunPicture;
    overrunPicture.tag = 'O';
    overrunPicture.width = 8;
    overrunPicture.height = 6;
    TestPicture big; // rows used in place by the run, while the orphan cuts the file
    big.width = 4000;
    big.height = 3000;
    big.topDown = 1;
    big.action = TestAction::kShrinkAfterHandOver;
    for (const Row& r : {Row{"overrun", overrunPicture, "x.ovr"}, Row{"p1", big, "big.pic"}}) {
        SCOPED_TRACE(r.plugin);
        PluginMarks marks;
        TempDir dir;
        copyPlugin(testPlugin(r.plugin), dir, std::string("spi/") + r.plugin + ".spi");
        dir.write("config/Morvash/Susie.conf", "[Plug-in]\nPath=" + dir.file("spi") + "\n");
        ScopedEnv env;
        env.set("XDG_CONFIG_HOME", dir.file("config"));
        env.set("XDG_CACHE_HOME", dir.file("cache"));
        const std::string picture = writeTestPicture(dir, r.file, r.picture);
        ASSERT_EQ(runProgram(QStringLiteral(KELVORA_ALBUM_COMMAND),
                             {QString::fromStdString(dir.file("site/album.html")),
                              QString::fromStdString(picture)}),
                  0);
        EXPECT_EQ(QImage(QString::fromStdString(dir.file("site/large/L0.jpg"))).size(),
                  QSize(r.picture.width / 2, r.picture.height / 2));
    }
}

// Finding, loading and registering plug-ins, with real libraries built in the tree.
#include "app/startup.h"
#include "base/picture.h"
#include "jpeg/jpeg_image.h"
#include "spi/spi_bitmap.h"
#include "spi/spi_folders.h"
#include "tests/spi/spi_test_support.h"

#include <QString>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class SPIs : public ::testing::Test {
protected:
    void SetUp() override { useBuiltDecoder(); }
};

std::vector<std::string> names(const TSPIs& spis) {
    std::vector<std::string> out;
    for (int i = 0; i < spis.Count(); ++i)
        out.push_back(spis.Items(i)->FileName().substr(spis.Items(i)->FileName().rfind('/') + 1));
    return out;
}

std::vector<std::string> names(const std::vector<TSPI*>& list) {
    std::vector<std::string> out;
    for (const TSPI* spi : list)
        out.push_back(spi->FileName().substr(spi->FileName().rfind('/') + 1));
    return out;
}

// Formats registered since `before`, as "ext=description".
std::vector<std::string> formatsSince(std::size_t before) {
    std::vector<std::string> out;
    const auto all = TPicture::fileFormats();
    for (std::size_t i = before; i < all.size(); ++i)
        out.push_back(all[i].extension + "=" + all[i].description.toStdString());
    return out;
}

// Sets an environment variable for one test.
class EnvGuard {
public:
    EnvGuard(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST_F(SPIs, EachLibraryBecomesTheKindItsApiVersionNames) {
    struct Row {
        const char* plugin;
        const char* kind; // "" when CreateSPI gives none
        const char* api;
        const char* about;
        std::vector<std::string> extensions;
        bool canLoad;
    };
    const Row rows[] = {
        {"p1", "TInSPI", "00IN", "P1 test", {"*.pic"}, true},
        {"multi", "TInSPI", "00IN", "Multi", {"*.pic;*.pi2", "*.pi3"}, true},
        {"archive", "TAmSPI", "00AM", "Archive", {"*.arc"}, true},
        {"xn", "TXnSPI", "00XN", "XN", {}, false},
        {"wrongapi", "TSPI", "01IN", "Wrong", {"*.wr"}, false},
        {"noapi", "TSPI", "", "None", {}, false},
        {"noabout", "TInSPI", "00IN", "", {"*.na"}, true},
        {"halfpair", "TInSPI", "00IN", "Half", {}, true}, // number 3 does not answer
        {"crashinfo", "", "", "", {}, false},             // crashes while listed
    };
    ManagerScope m;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.plugin);
        const std::unique_ptr<TSPI> spi = TSPIs::CreateSPI(testPlugin(r.plugin));
        if (!*r.kind) {
            EXPECT_EQ(spi, nullptr);
            continue;
        }
        ASSERT_NE(spi, nullptr);
        EXPECT_STREQ(spi->spiClass().name, r.kind);
        EXPECT_EQ(spi->FileName(), testPlugin(r.plugin));
        EXPECT_EQ(spi->APIVersion(), r.api);
        EXPECT_EQ(spi->About(), r.about);
        EXPECT_EQ(spi->Extensions().items(), r.extensions);
        EXPECT_EQ(spi->FormatNames().count(), spi->Extensions().count());
        EXPECT_EQ(spi->CanLoad(), r.canLoad);
    }
}

// A plug-in named from the current folder, "..", is known by its full name.
TEST_F(SPIs, FileNameIsTheFullName) {
    TempDir dir;
    copyPlugin(testPlugin("p1"), dir, "p1.spi");
    std::filesystem::create_directory(dir.path() + "/sub");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path() + "/sub");
    ManagerScope m;
    const std::unique_ptr<TSPI> spi = TSPIs::CreateSPI("../p1.spi");
    std::filesystem::current_path(before);
    ASSERT_NE(spi, nullptr);
    EXPECT_EQ(spi->FileName(), dir.path() + "/p1.spi");
}

TEST_F(SPIs, ErrorsCarryTheirTexts) {
    TempDir dir;
    const std::string notALibrary = dir.write("text.spi", "not a shared object");
    const auto message = [](auto&& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.message();
        }
        return QStringLiteral("(nothing raised)");
    };
    EXPECT_EQ(message([&] { TSPI::Create(notALibrary); }),
              QString::fromStdString(notALibrary) +
                  QStringLiteral(":Susie Pluginがロードできませんでした"));
    EXPECT_EQ(TSPIs::CreateSPI(notALibrary), nullptr);
    // A library without its kind's entry points: CreateSPI passes the error on.
    EXPECT_EQ(message([&] { TSPIs::CreateSPI(testPlugin("noentry")); }),
              QStringLiteral("GetPictureは[") + QString::fromStdString(testPlugin("noentry")) +
                  QStringLiteral("]では使えないSusie Plugin APIです"));
    // Decoding requires each entry point before it asks for it.
    const std::unique_ptr<TSPI> xn = TSPIs::CreateSPI(testPlugin("xn"));
    EXPECT_EQ(message([&] { xn->RequireEntry("GetPreview"); }),
              QStringLiteral("GetPreviewは[") + QString::fromStdString(testPlugin("xn")) +
                  QStringLiteral("]では使えないSusie Plugin APIです"));

    ManagerScope m;
    EXPECT_EQ(message([] { TSPIs second; }), QStringLiteral("TSPIs は複数生成できません"));
    EXPECT_EQ(GetSPIs(), &m.spis);
}

TEST_F(SPIs, AFolderSearchLoadsEveryUsableLibraryOnceInNameOrder) {
    TempDir a, b;
    copyPlugin(testPlugin("p2"), a, "b-mag.spi");
    copyPlugin(testPlugin("p1"), a, "a-pic.SPI"); // masks ignore case
    copyPlugin(testPlugin("noentry"), a, "c-noentry.spi");
    copyPlugin(testPlugin("crashinfo"), a, "d-crash.spi");
    a.write("e-text.spi", "text");
    copyPlugin(testPlugin("p3"), a, ".hidden.spi");
    copyPlugin(testPlugin("p3"), a, "folder.spi/inner.spi");
    copyPlugin(testPlugin("p3"), a, "f-other.dll");
    copyPlugin(testPlugin("p1"), b, "a-pic.spi");

    ManagerScope m;
    m.search(a.path() + "/*.spi");
    // The library that crashed while listed stands in the list, saying why it does nothing.
    EXPECT_EQ(names(m.spis), (std::vector<std::string>{"a-pic.SPI", "b-mag.spi", "d-crash.spi"}));
    m.search(a.path() + "/*.spi"); // nothing twice
    m.search(b.path() + "/*.spi"); // the same library in another folder is another plug-in
    EXPECT_EQ(names(m.spis),
              (std::vector<std::string>{"a-pic.SPI", "b-mag.spi", "d-crash.spi", "a-pic.spi"}));
    EXPECT_EQ(m.spis.IndexOf(a.path() + "/A-PIC.spi"), 0);
    EXPECT_EQ(m.spis.IndexOf(b.file("a-pic.spi")), 3);
    EXPECT_EQ(m.spis.IndexOf(a.file("nothing.spi")), -1);

    m.spis.Delete(0);
    EXPECT_EQ(names(m.spis), (std::vector<std::string>{"b-mag.spi", "d-crash.spi", "a-pic.spi"}));
    m.spis.Clear();
    EXPECT_EQ(m.spis.Count(), 0);
}

TEST_F(SPIs, SearchOptionsNameTheFoldersInTheirOrder) {
    TempDir config, susie, current;
    copyPlugin(testPlugin("p2"), susie, "susie.spi");
    copyPlugin(testPlugin("p1"), current, "current.spi");
    const EnvGuard xdg("XDG_CONFIG_HOME", config.path());
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(current.path().c_str()), 0);

    struct Row {
        TSPISearchOptions options;
        const char* conf; // Susie.conf, or null for none
        std::vector<std::string> loaded;
    };
    const std::string path = "[Plug-in]\nPath=" + susie.path() + "\n";
    const Row rows[] = {
        {{spsSusieDir, spsAppDir}, path.c_str(), {"susie.spi"}},
        {{spsCurrentDir, spsSusieDir}, path.c_str(), {"susie.spi", "current.spi"}},
        {{spsSusieDir, spsCurrentDir}, nullptr, {"current.spi"}},
        {{spsSusieDir}, "[Plug-in]\nPath=\n", {}},
        {{spsCurrentDir, spsWindowsDir}, nullptr, {"current.spi"}},
        {{spsWindowsDir}, path.c_str(), {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.options.bits());
        std::filesystem::remove(config.file("Morvash/Susie.conf"));
        if (r.conf)
            config.write("Morvash/Susie.conf", r.conf);
        ManagerScope m;
        m.spis.SearchOptions = r.options;
        m.spis.Loaded();
        EXPECT_EQ(names(m.spis), r.loaded);
    }
    {
        // A mask with a folder ignores the options; AutoSearch off searches nothing.
        ManagerScope m;
        m.spis.AutoSearch = false;
        m.spis.Loaded();
        EXPECT_EQ(m.spis.Count(), 0);
        m.spis.SearchOptions = {spsCurrentDir};
        m.search(susie.path() + "/*.spi");
        EXPECT_EQ(names(m.spis), std::vector<std::string>{"susie.spi"});
    }
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(SusieConfigFile(), config.path() + "/Morvash/Susie.conf");
    EXPECT_EQ(
        ApplicationPluginFolder(),
        std::string(KELVORA_TEST_PLUGINS).substr(0, std::string(KELVORA_TEST_PLUGINS).rfind('/')) +
            "/spi");
}

TEST_F(SPIs, ImportFiltersRegisterTheirPatternsLatestFirstWithin) {
    TempDir dir;
    copyPlugin(testPlugin("multi"), dir, "1-multi.spi");
    copyPlugin(testPlugin("archive"), dir, "2-archive.spi");
    copyPlugin(testPlugin("bmpclaim"), dir, "3-bmp.spi");
    copyPlugin(testPlugin("halfpair"), dir, "4-half.spi");
    const std::size_t before = TPicture::fileFormats().size();
    ManagerScope m;
    m.search(dir.path() + "/*.spi");
    ASSERT_EQ(m.spis.Count(), 4);
    // Patterns of one entry from the last to the first; the archive and the half pair register
    // nothing.
    EXPECT_EQ(formatsSince(before),
              (std::vector<std::string>{"pi2=Pi", "pic=Pi", "pi3=Pi3", "bmp=BMP"}));
    EXPECT_EQ(TPicture::classForExtension("PIC"), &TSPIBitmap::classInfo());
    EXPECT_EQ(TPicture::classForExtension("bmp"), &TSPIBitmap::classInfo()); // the latest wins

    // Deleting a plug-in leaves its formats; the end of the unit removes them.
    m.spis.Clear();
    EXPECT_EQ(TPicture::classForExtension("pic"), &TSPIBitmap::classInfo());
    FinalizeSPIBitmap();
    EXPECT_EQ(TPicture::classForExtension("pic"), nullptr);
    EXPECT_EQ(TPicture::classForExtension("bmp"), &TBitmap::classInfo());
}

// The programs' formats end with them: plug-in formats and JPEG leave the picture
// loader, the built-in formats stay.
TEST(PictureFormatsScope, TakesPluginAndJpegFormatsOutAtTheEnd) {
    {
        const TPictureFormatsScope formats(32);
        TPicture::registerFileFormat("pqz", QStringLiteral("Pq"), TSPIBitmap::classInfo());
        EXPECT_EQ(TPicture::classForExtension("jpg"), &TJPEGImage::classInfo());
        EXPECT_EQ(TPicture::classForExtension("pqz"), &TSPIBitmap::classInfo());
    }
    EXPECT_EQ(TPicture::classForExtension("jpg"), nullptr);
    EXPECT_EQ(TPicture::classForExtension("jpeg"), nullptr);
    EXPECT_EQ(TPicture::classForExtension("pqz"), nullptr);
    EXPECT_EQ(TPicture::classForExtension("bmp"), &TBitmap::classInfo());
    registerPictureFormats(32); // as the other tests expect them
}

TEST_F(SPIs, EventsMayRefuseFilesPluginsAndFormats) {
    TempDir dir;
    copyPlugin(testPlugin("p1"), dir, "a.spi");
    copyPlugin(testPlugin("p2"), dir, "b.spi");
    copyPlugin(testPlugin("p3"), dir, "c.spi");
    copyPlugin(testPlugin("multi"), dir, "d.spi");
    const std::size_t before = TPicture::fileFormats().size();
    ManagerScope m;
    std::vector<std::string> asked;
    m.spis.OnSearching = [&](TSPIs& sender, const std::string& fileName, bool& accept) {
        EXPECT_EQ(&sender, &m.spis);
        EXPECT_TRUE(accept);
        asked.push_back(fileName.substr(fileName.rfind('/') + 1));
        accept = asked.back() != "a.spi";
    };
    m.spis.OnSearch = [](TSPIs&, TSPI& spi, bool& accept) {
        if (spi.About() == "P3 test")
            throw std::runtime_error("refused by throwing");
        accept = spi.About() != "P2 test";
    };
    m.spis.OnPictureRegister = [](TSPIs&, TInSPI&, const std::string& ext,
                                  const std::string& description, const TGraphicClass*& cls) {
        EXPECT_EQ(cls, &TSPIBitmap::classInfo());
        if (ext == "pi2")
            cls = nullptr;
        EXPECT_FALSE(description.empty());
    };
    m.search(dir.path() + "/*.spi");
    EXPECT_EQ(asked, (std::vector<std::string>{"a.spi", "b.spi", "c.spi", "d.spi"}));
    EXPECT_EQ(names(m.spis), std::vector<std::string>{"d.spi"});
    EXPECT_EQ(formatsSince(before), (std::vector<std::string>{"pic=Pi", "pi3=Pi3"}));
}

TEST_F(SPIs, CandidatesDeclaringTheExtensionComeFirstLatestFirst) {
    TempDir dir;
    copyPlugin(testPlugin("p1"), dir, "1.spi");
    copyPlugin(testPlugin("p2"), dir, "2.spi");
    copyPlugin(testPlugin("archive"), dir, "3.spi");
    copyPlugin(testPlugin("p3"), dir, "4.spi");
    copyPlugin(testPlugin("multi"), dir, "5.spi");
    ManagerScope m;
    m.search(dir.path() + "/*.spi");
    const auto list = [&](const std::string& file, std::vector<const TSPIClass*> classes) {
        std::vector<TSPI*> out;
        m.spis.GetSPIList(classes, out, file);
        return names(out);
    };
    using L = std::vector<std::string>;
    EXPECT_EQ(list("x.pic", {&TInSPI::classInfo()}), (L{"4.spi", "1.spi", "2.spi", "5.spi"}));
    // "*.pic;*.pi2" declares pi2 only (the last pattern), "*.pi3" its own.
    EXPECT_EQ(list("/d.x/y.PI2", {&TInSPI::classInfo()}), (L{"5.spi", "1.spi", "2.spi", "4.spi"}));
    EXPECT_EQ(list("noext", {&TInSPI::classInfo()}), (L{"1.spi", "2.spi", "4.spi", "5.spi"}));
    EXPECT_EQ(list("dir.pic/noext", {&TInSPI::classInfo()}),
              (L{"1.spi", "2.spi", "4.spi", "5.spi"}));
    EXPECT_EQ(list("a.arc", {&TSPI::classInfo()}),
              (L{"3.spi", "1.spi", "2.spi", "4.spi", "5.spi"}));
    EXPECT_EQ(list("a.mag", {&TAmSPI::classInfo()}), (L{"3.spi"}));
}

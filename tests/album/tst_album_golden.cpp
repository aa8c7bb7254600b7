// Albums whose every file is known byte for byte: a handful of real pictures
// (baseline, progressive, grey and Exif-rotated JPEGs, a BMP, a PNG; two of them
// share a name) run through the batch command itself (with the plug-ins built
// beside it) under a few option files and page options; every file written is
// compared with the one kept under tests/data/golden/<variant>/album/.
// Whatever a change adds must leave these albums exactly as they are.
//
// To make the kept files again (only when an album is meant to change, and from
// a build whose output is known to be right):
//     KELVORA_REGENERATE_GOLDEN=1 ./tst_album_golden
// writes tests/data/golden/<variant>/album/ in the source tree. The source
// pictures under tests/data/golden/inputs/ are made only when that folder is
// missing, so that a newer encoder on the machine does not change them.
#include "tests/support/images.h"
#include "tests/support/temp_dir.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace kelvora;
using namespace kelvora::test;
namespace fs = std::filesystem;

namespace {

const std::string kGolden = std::string(KELVORA_TEST_DATA) + "/golden";

bool regenerating() {
    const char* v = std::getenv("KELVORA_REGENERATE_GOLDEN");
    return v && *v && std::string(v) != "0";
}

// The pictures, in page order; the two "photo.jpg" make names collide when
// outputs are named after their sources.
const char* const kPictures[] = {"a/photo.jpg", "exif.jpg", "progressive.jpg", "b/photo.jpg",
                                 "drawing.bmp", "gray.jpg", "graph.png"};

void makeInputs(const std::string& folder) {
    const auto put = [&](const char* name, const std::string& bytes) {
        writeFileAt(folder + "/" + name, bytes);
    };
    put("a/photo.jpg", encodeWithCjpeg(photoLike(96, 64, 1), {}));
    put("exif.jpg", withExifOrientation(encodeWithCjpeg(photoLike(80, 56, 2), {}), 6));
    put("progressive.jpg", encodeWithCjpeg(photoLike(72, 72, 3), {"-progressive"}));
    put("b/photo.jpg", encodeWithCjpeg(photoLike(64, 96, 4), {"-sample", "2x1"}));
    put("gray.jpg", encodeWithCjpeg(photoLike(50, 40, 6), {"-grayscale"}));
    saveImage(photoLike(45, 31, 5), folder + "/drawing.bmp", "bmp");
    saveImage(patternImage(40, 30), folder + "/graph.png", "png");
}

// Every file below a folder, by relative path, with its bytes.
std::map<std::string, std::string> filesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files[fs::relative(e.path(), folder).string()] = readFile(e.path().string());
    return files;
}

struct Variant {
    const char* name;     // folder under tests/data/golden, holding Option.ini
    QStringList flags;    // the batch command's page options
    const char* comments; // comment file lines "<picture>\t<comment>", or null
};

// Percent and pixel sizes, qualities, both kinds of names, both picture types,
// frames, comments above and below, titles, colours and columns.
const Variant kVariants[] = {
    {"defaults", {}, nullptr},
    {"pixels",
     {"--title", "<b>旅行</b> 2024", "--background", "#102030", "--columns", "2", "--frame",
      "--frame-width", "3", "--frame-color", "navy"},
     "a/photo.jpg\t最初の写真\nb/photo.jpg\t同じ名前 <i>二枚目</i>\ngraph.png\tグラフ\n"},
    {"percent",
     {"--title", "Percent", "--columns", "4", "--frame", "--comments-above"},
     "exif.jpg\t横向き\ndrawing.bmp\tBMP & more\n"},
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

class AlbumGolden : public ::testing::TestWithParam<Variant> {};

TEST_P(AlbumGolden, EveryFileAsKept) {
    const Variant& v = GetParam();
    const std::string inputs = kGolden + "/inputs";
    if (regenerating() && !fs::exists(inputs))
        makeInputs(inputs);
    ASSERT_TRUE(fs::exists(inputs)) << inputs;

    // One job and two: pictures converted side by side give the same album.
    for (const int jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        TempDir dir;
        fs::copy(inputs, dir.file("pics"), fs::copy_options::recursive);

        QStringList args{QStringLiteral("--options"),
                         QString::fromStdString(kGolden + "/" + v.name + "/Option.ini"),
                         QStringLiteral("--jobs"), QString::number(jobs)};
        args += v.flags;
        if (v.comments) {
            std::string lines;
            for (const QString& line :
                 QString::fromUtf8(v.comments).split('\n', Qt::SkipEmptyParts))
                lines += dir.file("pics/") + line.toStdString() + "\n";
            args << QStringLiteral("--comment-file")
                 << QString::fromStdString(dir.write("comments.txt", lines));
        }
        args << QString::fromStdString(dir.file("album/index.html"));
        for (const char* p : kPictures)
            args << QString::fromStdString(dir.file("pics/") + p);

        QProcess command;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(name),
                       QString::fromStdString(makeDirAt(dir.file(std::string("env/") + name))));
        command.setProcessEnvironment(env);
        command.start(QStringLiteral(KELVORA_ALBUM_COMMAND), args);
        ASSERT_TRUE(command.waitForFinished(120000));
        ASSERT_EQ(command.exitCode(), 0) << command.readAllStandardError().toStdString();

        const std::string kept = kGolden + "/" + v.name + "/album";
        const auto written = filesBelow(dir.file("album"));
        if (regenerating() && jobs == 1) {
            fs::remove_all(kept);
            for (const auto& [name, bytes] : written)
                writeFileAt(kept + "/" + name, bytes);
        }
        const auto expected = filesBelow(kept);
        ASSERT_FALSE(expected.empty()) << kept;
        for (const auto& [name, bytes] : expected) {
            const auto it = written.find(name);
            if (it == written.end())
                ADD_FAILURE() << name << " was not written";
            else
                EXPECT_TRUE(it->second == bytes) << name << " differs";
        }
        for (const auto& entry : written)
            EXPECT_TRUE(expected.count(entry.first)) << entry.first << " is not in " << kept;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, AlbumGolden, ::testing::ValuesIn(kVariants),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace

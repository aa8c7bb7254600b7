#pragma once
// Pieces the plug-in tests share: the helper and plug-ins built in this tree,
// test pictures, and one manager per test.
#include "spi/spis.h"
#include "tests/spi/test_picture.h"
#include "tests/support/temp_dir.h"

#include <QImage>
#include <QStringList>
#include <initializer_list>
#include <string>
#include <vector>

namespace kelvora::test {

// Points the host at the decoding helper built in this tree, registers the
// picture formats and moves the memory of unresponsive plug-ins into a
// temporary folder (once).
void useBuiltDecoder();
// A test plug-in built from test_plugin.cpp ("p1" -> .../plugins/p1.spi).
std::string testPlugin(const std::string& name);
// The program's plug-in folder in the build tree, with the shipped filters.
std::string shippedPluginFolder();
// Copies a built plug-in into dir under the name; returns the copy's path.
std::string copyPlugin(const std::string& builtPath, const TempDir& dir, const std::string& as);
std::string writeTestPicture(const TempDir& dir, const std::string& name, const TestPicture& p,
                             std::size_t macBinaryPrefix = 0);

// The manager of one test, without a search; when it ends, the formats its
// plug-ins registered go too.
class ManagerScope {
public:
    ManagerScope();
    ~ManagerScope();
    TSPIs spis;
    // Loads the plug-ins matching the mask (a mask with a folder).
    void search(const std::string& mask) { spis.Search(mask); }
};

// The loaded plug-ins of one test, copied into a folder in this order
// ("1-p1.spi", "2-p2.spi", ...) and searched.
struct Plugins {
    TempDir dir;
    ManagerScope m;
    explicit Plugins(std::initializer_list<const char*> names);
    TInSPI* plugin(int index) { return dynamic_cast<TInSPI*>(m.spis.Items(index)); }
};

// Runs a program and waits for it; its exit status (-1 when it did not run).
int runProgram(const QString& program, const QStringList& arguments);

// A picture in a format of a shipped plug-in, made by Debian's own tools.
struct FormatPicture {
    std::string name; // what it is, for messages
    std::string path;
    int tolerance; // largest difference of a colour channel from the source
    bool alpha;    // the left column is transparent
};
// The source: w x h, blocks of 4 x 4 pixels in 192 colours (red by column,
// green by row), so that GIF keeps them all and lossy codecs come close.
QImage formatSource(int w, int h);
// PNG (plain, palette, interlaced, with alpha), GIF, TIFF (and with alpha), WebP
// (lossless and lossy), HEIC and AVIF of formatSource(w, h). Empty when a
// tool is missing (scripts/setup.sh --test installs them).
std::vector<FormatPicture> makeFormatPictures(const TempDir& dir, int w, int h);
// The largest channel difference between two pictures (1000 for different sizes).
int largestDifference(const QImage& a, const QImage& b);

} // namespace kelvora::test

// Fuzzes Option.ini handling: the input is the file's content. Every key is read with
// every typed reader, then a key is written and the file read again; a written value
// must read back, and no other key may change.
#include "base/codepage.h"
#include "settings/inifile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using kelvora::CodePage;
using kelvora::TIniFile;

constexpr std::array<std::string_view, 2> kSections = {"Large", "Small"};
constexpr std::array<std::string_view, 9> kKeys = {"Header",   "Folder",          "PictureType",
                                                   "Quality",  "PictureSizeMode", "Rate",
                                                   "Vertical", "Horizonal",       "Consecutive"};

// A folder of this process's own, removed when the process ends.
class FuzzFolder {
public:
    FuzzFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelvora-fuzz-ini-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        path_ = pattern;
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file() const { return path_ + "/Option.ini"; }

private:
    std::string path_;
};

struct Snapshot {
    std::array<std::string, kSections.size() * kKeys.size()> texts;
    std::array<int, kSections.size() * kKeys.size()> integers{};
};

Snapshot readAll(const TIniFile& ini) {
    Snapshot s;
    for (std::size_t i = 0; i < kSections.size(); ++i) {
        for (std::size_t k = 0; k < kKeys.size(); ++k) {
            const std::size_t at = i * kKeys.size() + k;
            s.texts[at] = ini.ReadString(kSections[i], kKeys[k],
                                         "\x01"
                                         "default");
            s.integers[at] = ini.ReadInteger(kSections[i], kKeys[k], -77);
            if (ini.ReadBool(kSections[i], kKeys[k], true) != (s.integers[at] != 0))
                std::abort();
        }
    }
    return s;
}

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzFolder folder;
    const std::string path = folder.file();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // The last byte chooses the code page and the key to write, so that the file's
    // bytes stay free for the fuzzer to shape.
    const unsigned choice = size > 0 ? data[size - 1] : 0;
    CodePage::setSystem(choice & 1 ? CodePage::Kind::Cp932 : CodePage::Kind::Utf8);

    TIniFile ini(path);
    const Snapshot before = readAll(ini);

    // Names taken from the input itself, so that odd names are looked up too.
    const std::string_view odd = bytes.substr(0, bytes.find_first_of("=\r\n"));
    ini.ReadString(odd, odd, "");
    ini.ReadInteger(odd.substr(0, 8), odd, 0);
    ini.ReadBool("", odd, false);

    const std::size_t section = (choice >> 1) & 1;
    const std::size_t key = ((choice >> 2) % kKeys.size());
    const int number = static_cast<int>(size * 2654435761u);
    std::string plain; // a value that reads back as written
    for (const char c : bytes.substr(0, 64)) {
        if (c > ' ' && c < 0x7F && c != '"' && c != '\'')
            plain += c;
    }

    ini.WriteInteger(kSections[section], kKeys[key], number);
    check(ini.ReadInteger(kSections[section], kKeys[key], number ^ 1) == number);
    ini.WriteBool(kSections[section], kKeys[key], number & 1);
    check(ini.ReadBool(kSections[section], kKeys[key], !(number & 1)) == bool(number & 1));
    ini.WriteString(kSections[section], kKeys[key], plain);
    check(ini.ReadString(kSections[section], kKeys[key], "\x01") == plain);

    const Snapshot after = readAll(ini);
    const std::size_t written = section * kKeys.size() + key;
    for (std::size_t at = 0; at < after.texts.size(); ++at) {
        if (at != written)
            check(after.texts[at] == before.texts[at] && after.integers[at] == before.integers[at]);
    }
    return 0;
}

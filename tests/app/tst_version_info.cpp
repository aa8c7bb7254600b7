// Version information read back from executables: the program's own, a stripped copy,
// fixtures without information or without a string table, and damaged files.
#include "app/elf_note.h"
#include "app/version_info.h"
#include "app/version_note.h"
#include "tests/support/temp_dir.h"

#include <cstring>
#include <elf.h>
#include <filesystem>
#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::TempDir;

struct KeyCase {
    int index;
    const char* value;
};

TEST(GetVersionValue, ReadsTheProgramsOwnInformation) {
    TempDir dir;
    const std::string stripped = dir.file("kelvora-stripped");
    std::filesystem::copy_file(KELVORA_PROGRAM, stripped);
    ASSERT_EQ(std::system(("strip --strip-all '" + stripped + "'").c_str()), 0);
    ASSERT_LT(std::filesystem::file_size(stripped), std::filesystem::file_size(KELVORA_PROGRAM));

    const KeyCase cases[] = {{0, ""},        {1, "Brenwick"}, {2, ""},
                             {3, "4.0.0.0"}, {9, "Kelvora"},  {10, "4.0.0 PreRelease"},
                             {11, ""},       {12, ""},        {-1, ""}};
    for (const std::string& exe : {std::string(KELVORA_PROGRAM), stripped})
        for (const KeyCase& c : cases)
            EXPECT_EQ(GetVersionValue(c.index, exe), QString::fromUtf8(c.value))
                << exe << " key " << c.index;
}

TEST(GetVersionValue, WithoutInformationIsEmptyWithoutTranslationFails) {
    for (int index = 0; index < 12; ++index)
        EXPECT_EQ(GetVersionValue(index, KELVORA_FIXTURE_PLAIN), QString());
    try {
        GetVersionValue(10, KELVORA_FIXTURE_NO_TRANSLATION);
        FAIL() << "no error";
    } catch (const EVersionInfoError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("情報の取得に失敗しました"));
    }
}

TEST(VersionInfo, QueriesWindowsPathsWithoutRegardToCase) {
    const TVersionInfo info("Translation=041103A4\n041103A4\\ProductName=Kelvora\nbroken line\n");
    const auto translation = info.QueryValue("\\varfileinfo\\TRANSLATION");
    ASSERT_TRUE(translation);
    std::uint32_t value = 0;
    ASSERT_EQ(translation->size(), sizeof value);
    std::memcpy(&value, translation->data(), sizeof value);
    EXPECT_EQ(value, 0x03A40411u); // language in the low half
    EXPECT_EQ(info.QueryValue("\\StringFileInfo\\041103a4\\productname"), "Kelvora");
    EXPECT_FALSE(info.QueryValue("\\StringFileInfo\\04090000\\ProductName"));
    EXPECT_FALSE(info.QueryValue("041103A4\\ProductName"));
    EXPECT_FALSE(TVersionInfo("Translation=0411\n").QueryValue("\\VarFileInfo\\Translation"));
    EXPECT_EQ(TVersionInfo().Size(), 0u);
}

// A minimal 64-bit ELF file: the header, one PT_NOTE program header, the segment.
std::string elfWithNoteSegment(const std::string& segment, std::uint64_t offsetShift = 0,
                               std::uint16_t phnum = 1) {
    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_type = ET_EXEC;
    eh.e_phoff = sizeof eh;
    eh.e_phentsize = sizeof(Elf64_Phdr);
    eh.e_phnum = phnum;
    Elf64_Phdr ph{};
    ph.p_type = PT_NOTE;
    ph.p_offset = sizeof eh + sizeof ph + offsetShift;
    ph.p_filesz = segment.size();
    ph.p_align = 4;
    std::string out(reinterpret_cast<const char*>(&eh), sizeof eh);
    out.append(reinterpret_cast<const char*>(&ph), sizeof ph);
    return out + segment;
}

std::string note(std::uint32_t namesz, std::uint32_t descsz, std::uint32_t type,
                 const std::string& nameAndDesc) {
    const std::uint32_t header[3] = {namesz, descsz, type};
    return std::string(reinterpret_cast<const char*>(header), sizeof header) + nameAndDesc;
}

TEST(ReadElfNote, FindsOnlyWellFormedNotes) {
    const std::string owner("Kelvora\0", 8);
    const std::string other = note(4, 4, 1, std::string("GNU\0", 4) + "abcd");
    const std::string ours = note(8, 3, 1, owner + "xyz\0");
    struct Case {
        const char* name;
        std::string file;
        std::optional<std::string> found;
    } cases[] = {
        {"after another note", elfWithNoteSegment(other + ours), "xyz"},
        {"other type", elfWithNoteSegment(note(8, 3, 2, owner + "xyz\0")), std::nullopt},
        {"owner without NUL", elfWithNoteSegment(note(7, 3, 1, "Kelvoraxxyz\0")), std::nullopt},
        {"name beyond the segment", elfWithNoteSegment(note(0xFFFFFFF0u, 3, 1, owner)),
         std::nullopt},
        {"description beyond the segment",
         elfWithNoteSegment(note(8, 0xFFFFFFFFu, 1, owner + "xyz")), std::nullopt},
        {"truncated header", elfWithNoteSegment(ours.substr(0, 10)), std::nullopt},
        {"segment beyond the file", elfWithNoteSegment(ours, 1000), std::nullopt},
        {"program headers beyond the file", elfWithNoteSegment(ours, 0, 60000), std::nullopt},
        {"empty file", "", std::nullopt},
        {"not ELF", "#!/bin/sh\necho hello\n", std::nullopt},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.write("f", c.file);
        EXPECT_EQ(ReadElfNote(path, "Kelvora", kVersionNoteType), c.found) << c.name;
    }
    EXPECT_FALSE(ReadElfNote(dir.path(), "Kelvora", 1)) << "a folder";
    EXPECT_FALSE(ReadElfNote(dir.file("missing"), "Kelvora", 1));
}

TEST(ReadElfNote, ToleratesTruncatedExecutables) {
    TempDir dir;
    const std::string whole = test::readFile(KELVORA_PROGRAM);
    for (const std::size_t size : {std::size_t(16), std::size_t(64), std::size_t(700)}) {
        const std::string path = dir.write("cut", whole.substr(0, size));
        EXPECT_FALSE(ReadElfNote(path, kVersionNoteOwner, kVersionNoteType)) << size;
    }
}

} // namespace
} // namespace kelvora

#include "album/output_paths.h"
#include "tests/support/codepage_guard.h"

#include <gtest/gtest.h>

using namespace kelvora;

TEST(OutputPaths, BaseFolderIsThePagesFolderWithOneSeparator) {
    EXPECT_EQ(BaseFolderOf("/site/album.html"), "/site/");
    EXPECT_EQ(BaseFolderOf("/home/u/My Album/index.html"), "/home/u/My Album/");
    // A page in the root folder: the root, then the separator.
    EXPECT_EQ(BaseFolderOf("/album.html"), "//");
    // A separator that follows another one stays, and one more is added.
    EXPECT_EQ(BaseFolderOf("/site//album.html"), "/site///");
}

TEST(OutputPaths, OutputFolderJoinsWithExactlyTheSeparatorsNeeded) {
    EXPECT_EQ(OutputFolderOf(BaseFolderOf("/site/album.html"), "large"), "/site/large/");
    EXPECT_EQ(OutputFolderOf("/site/", "large/"), "/site/large/");
    EXPECT_EQ(OutputFolderOf("/site/", ""), "/site//");
    EXPECT_EQ(OutputFolderOf(BaseFolderOf("/album.html"), "large"), "//large/");
    EXPECT_EQ(OutputFolderOf("/site/", "pics/large"), "/site/pics/large/");
    EXPECT_EQ(AddTrailingBackslash(""), "/");
}

TEST(OutputPaths, FolderEndingInDoubleByteCharacterGetsSeparator) {
    kelvora::test::CodePageGuard guard(CodePage::Kind::Cp932);
    const std::string hyo = "\x95\x5C"; // 表
    EXPECT_EQ(OutputFolderOf("/site/", "\x8E\xCA" + hyo), "/site/\x8E\xCA" + hyo + "/");
    EXPECT_EQ(AddTrailingBackslash("/photos/" + hyo), "/photos/" + hyo + "/");
    EXPECT_EQ(AddTrailingBackslash(hyo + "/"), hyo + "/");
}

TEST(OutputPaths, SourceNameDropsFolderAndLastExtension) {
    EXPECT_EQ(SourceNameOf("/pics/trip.2001.bmp"), "trip.2001");
    EXPECT_EQ(SourceNameOf("/pics/README"), "README");
    EXPECT_EQ(SourceNameOf("/pics.old/README"), "README");
    EXPECT_EQ(SourceNameOf("/photos/IMG_0001.JPG"), "IMG_0001");
    EXPECT_EQ(SourceNameOf("/photos/.hidden"), "");
}

// The local memory library that plug-ins and the program share.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

TEST(LocalMemory, BlocksKnowTheirSizeLockAndFree) {
    HLOCAL fixed = LocalAlloc(LPTR, 100);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(LocalSize(fixed), 100u);
    EXPECT_EQ(LocalLock(fixed), fixed);
    const auto* bytes = static_cast<const unsigned char*>(fixed);
    EXPECT_EQ(std::count(bytes, bytes + 100, 0), 100); // zero-initialised

    HLOCAL moveable = LocalAlloc(LHND, 10);
    EXPECT_EQ(LocalLock(moveable), moveable);
    EXPECT_EQ(LocalLock(moveable), moveable);
    EXPECT_NE(LocalUnlock(moveable), 0); // still locked once
    EXPECT_EQ(LocalUnlock(moveable), 0);
    EXPECT_EQ(LocalFree(moveable), nullptr);
    EXPECT_EQ(LocalFree(fixed), nullptr);
}

TEST(LocalMemory, HandlesItDidNotGiveOutAreRecognised) {
    void* foreign = std::malloc(64);
    HLOCAL freed = LocalAlloc(LMEM_FIXED, 8);
    ASSERT_EQ(LocalFree(freed), nullptr);
    for (HLOCAL h : {foreign, freed, static_cast<HLOCAL>(nullptr)}) {
        EXPECT_EQ(LocalSize(h), 0u);
        EXPECT_EQ(LocalLock(h), nullptr);
        EXPECT_EQ(LocalReAlloc(h, 16, LMEM_MOVEABLE), nullptr);
    }
    EXPECT_EQ(LocalFree(foreign), foreign); // a failure gives the handle back
    EXPECT_EQ(LocalFree(freed), freed);     // freed twice
    std::free(foreign);
}

TEST(LocalMemory, ReAllocShrinksInPlaceAndMovesOnlyWhenAllowed) {
    HLOCAL h = LocalAlloc(LMEM_FIXED, 8);
    std::memcpy(h, "abcdefgh", 8);
    EXPECT_EQ(LocalReAlloc(h, 4, 0), h);
    EXPECT_EQ(LocalSize(h), 4u);
    EXPECT_EQ(LocalReAlloc(h, 1000, 0), nullptr); // may not move
    EXPECT_EQ(LocalSize(h), 4u);
    HLOCAL grown = LocalReAlloc(h, 1000, LMEM_MOVEABLE | LMEM_ZEROINIT);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(LocalSize(grown), 1000u);
    EXPECT_EQ(std::memcmp(grown, "abcd", 4), 0);
    EXPECT_EQ(static_cast<const char*>(grown)[999], 0);
    if (grown != h) {
        EXPECT_EQ(LocalSize(h), 0u); // the old handle is gone
    }
    EXPECT_EQ(LocalFree(grown), nullptr);
}

TEST(LocalMemory, BigBlocksLiveInMemoryFilesOthersCanAdopt) {
    const size_t big = KELVORA_LOCAL_FILE_FROM + 10;
    HLOCAL block = LocalAlloc(LMEM_FIXED, big);
    ASSERT_NE(block, nullptr);
    const int file = KelvoraLocalFile(block);
    ASSERT_GE(file, 0);
    HLOCAL small = LocalAlloc(LPTR, 16);
    EXPECT_EQ(KelvoraLocalFile(small), -1); // small blocks live in ordinary memory
    LocalFree(small);
    static_cast<char*>(block)[big - 1] = 'z';
    // Another process would get the descriptor; a duplicate stands in for it here.
    HLOCAL adopted = KelvoraLocalAdopt(dup(file));
    ASSERT_NE(adopted, nullptr);
    EXPECT_EQ(LocalSize(adopted), big);
    EXPECT_EQ(static_cast<const char*>(adopted)[big - 1], 'z');
    static_cast<char*>(adopted)[0] = 'a'; // a private copy: the original keeps its byte
    EXPECT_EQ(static_cast<const char*>(block)[0], 0);
    EXPECT_EQ(LocalFree(adopted), nullptr);
    EXPECT_EQ(LocalFree(block), nullptr);

    // A header claiming more than the file holds gives what the file holds; short files nothing.
    const int forged = memfd_create("forged", 0);
    const std::size_t claim = std::size_t{1} << 40;
    char header[32] = {};
    std::memcpy(header, &claim, sizeof claim);
    ASSERT_EQ(write(forged, header, sizeof header), 32);
    ASSERT_EQ(ftruncate(forged, 32 + 100), 0);
    HLOCAL clamped = KelvoraLocalAdopt(forged);
    EXPECT_EQ(LocalSize(clamped), 100u);
    LocalFree(clamped);
    const int empty = memfd_create("empty", 0);
    EXPECT_EQ(KelvoraLocalAdopt(empty), nullptr);
    EXPECT_EQ(KelvoraLocalAdopt(-1), nullptr);
}

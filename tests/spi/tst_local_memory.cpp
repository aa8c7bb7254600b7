// The local memory library that plug-ins and the program share.
#include "kelvora/local_file.h"
#include "kelvora/susie.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
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

TEST(LocalMemory, BigBlocksCrossSealedInTheirMemoryFiles) {
    const size_t big = KELVORA_LOCAL_FILE_FROM + 10;
    HLOCAL block = LocalAlloc(LMEM_FIXED, big);
    ASSERT_NE(block, nullptr);
    ASSERT_GE(KelvoraLocalFile(block), 0);
    HLOCAL small = LocalAlloc(LPTR, 16);
    EXPECT_EQ(KelvoraLocalFile(small), -1); // small blocks live in ordinary memory
    EXPECT_EQ(KelvoraLocalSeal(small), -1); // and are not handed over that way
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(LocalFree(small), nullptr);

    static_cast<char*>(block)[big - 6] = 'z';
    ASSERT_EQ(LocalReAlloc(block, big - 5, 0), block); // the file is cut to what is left
    // Another process would get the descriptor; here the same one adopts it.
    const int sealed = KelvoraLocalSeal(block);
    ASSERT_GE(sealed, 0);
    EXPECT_EQ(LocalSize(block), 0u); // gone from here
    EXPECT_EQ(LocalFree(block), block);
    EXPECT_NE(ftruncate(sealed, 32), 0);
    EXPECT_EQ(write(sealed, "x", 1), -1);
    EXPECT_EQ(KelvoraLocalAdopt(dup(sealed), big - 4), nullptr); // not the announced size
    HLOCAL adopted = KelvoraLocalAdopt(sealed, big - 5);
    ASSERT_NE(adopted, nullptr);
    EXPECT_EQ(LocalSize(adopted), big - 5);
    EXPECT_EQ(KelvoraLocalFile(adopted), -1);
    EXPECT_EQ(static_cast<const char*>(adopted)[big - 6], 'z');
    static_cast<char*>(adopted)[0] = 'a'; // a private copy, writable
    EXPECT_EQ(LocalFree(adopted), nullptr);

    // Only a file that can no longer change is adopted.
    for (int seals : {0, F_SEAL_SHRINK | F_SEAL_GROW, F_SEAL_SHRINK | F_SEAL_WRITE}) {
        SCOPED_TRACE(seals);
        const int file = memfd_create("forged", MFD_ALLOW_SEALING);
        ASSERT_EQ(ftruncate(file, 32 + 100), 0);
        ASSERT_EQ(fcntl(file, F_ADD_SEALS, seals), 0);
        EXPECT_EQ(KelvoraLocalAdopt(file, 100), nullptr);
    }
    EXPECT_EQ(KelvoraLocalAdopt(-1, 0), nullptr);
}

TEST(LocalMemory, ABlockStillMappedWritableElsewhereIsNotHandedOver) {
    HLOCAL block = LocalAlloc(LMEM_FIXED, KELVORA_LOCAL_FILE_FROM);
    ASSERT_GE(KelvoraLocalFile(block), 0);
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    const pid_t child = fork(); // inherits the shared mapping
    if (child == 0) {
        alarm(10);
        char byte;
        close(gate[1]);
        [[maybe_unused]] const ssize_t n = read(gate[0], &byte, 1);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    close(gate[0]);
    EXPECT_EQ(KelvoraLocalSeal(block), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(LocalSize(block), 0u);
    close(gate[1]);
    waitpid(child, nullptr, 0);
}

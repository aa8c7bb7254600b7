// ID lists as bytes: sizes, counts, copies and comparisons, with the null,
// empty and one-item cases, and the allocator's bookkeeping.
#include "shell/items/id_list.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace kelvora;

namespace {

using ID = TVelShID;

TIDListPtr item(std::string_view name) {
    return TIDListPtr(IDMakeItem(TShItemKind::Entry, name));
}

// a/b/c as one list.
TIDListPtr path3() {
    TIDListPtr ab(ID::IDConcat(item("a").get(), item("bb").get()));
    return TIDListPtr(ID::IDConcat(ab.get(), item("ccc").get()));
}

std::string bytesOf(PCItemIDList id) {
    return std::string(reinterpret_cast<const char*>(id), static_cast<std::size_t>(ID::IDSize(id)));
}

class IdList : public ::testing::Test {
protected:
    void SetUp() override { live_ = TShellAllocator::LiveBlocks(); }
    void TearDown() override { EXPECT_EQ(TShellAllocator::LiveBlocks(), live_) << "leaked"; }
    long live_ = 0;
};

} // namespace

TEST_F(IdList, ItemLayoutIsCountKindPayloadAndTerminator) {
    TIDListPtr a = item("ab");
    // u16 LE count 5 (2 count + 1 kind + 2 payload), kind 0x30, "ab", terminator.
    EXPECT_EQ(bytesOf(a.get()), std::string("\x05\x00\x30"
                                            "ab"
                                            "\x00\x00",
                                            7));
    EXPECT_EQ(IDItemKind(a.get()), 0x30);
    EXPECT_EQ(IDItemPayload(a.get()), "ab");
    EXPECT_EQ(IDItemBytes(a.get()), "\x30"
                                    "ab");
    // A payload that does not fit the 16-bit count is refused.
    EXPECT_EQ(IDMakeItem(TShItemKind::Entry, std::string(0xFFFF, 'x')), nullptr);
    TIDListPtr big(IDMakeItem(TShItemKind::Entry, std::string(0xFFFF - 3, 'x')));
    ASSERT_TRUE(big);
    EXPECT_EQ(ID::IDSize(big.get()), 0xFFFF + 2);
}

TEST_F(IdList, SizeAndCountOfNullEmptyAndLonger) {
    EXPECT_EQ(ID::IDSize(nullptr), 0);
    EXPECT_EQ(ID::IDCount(nullptr), -1);
    TIDListPtr empty(IDMakeEmpty());
    EXPECT_EQ(ID::IDSize(empty.get()), 2);
    EXPECT_EQ(ID::IDCount(empty.get()), 0);
    TIDListPtr one = item("a");
    EXPECT_EQ(ID::IDSize(one.get()), 4 + 2);
    EXPECT_EQ(ID::IDCount(one.get()), 1);
    TIDListPtr three = path3();
    EXPECT_EQ(ID::IDSize(three.get()), 4 + 5 + 6 + 2);
    EXPECT_EQ(ID::IDCount(three.get()), 3);
}

TEST_F(IdList, AllocIsZeroFilledAndFreeClearsTheReference) {
    PItemIDList id = ID::IDAlloc(16);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(TShellAllocator::LiveBlocks(), live_ + 1);
    const std::string zeros(16, '\0');
    EXPECT_EQ(std::memcmp(id, zeros.data(), 16), 0);
    ID::IDFree(id);
    EXPECT_EQ(id, nullptr);
    ID::IDFree(id); // freeing null is harmless
    EXPECT_EQ(ID::IDAlloc(-1), nullptr);
}

TEST_F(IdList, NextIsNullForNullEmptyAndOneItem) {
    TIDListPtr empty(IDMakeEmpty());
    TIDListPtr one = item("a");
    TIDListPtr three = path3();
    EXPECT_EQ(ID::IDNext(static_cast<PCItemIDList>(nullptr)), nullptr);
    EXPECT_EQ(ID::IDNext(static_cast<PCItemIDList>(empty.get())), nullptr);
    EXPECT_EQ(ID::IDNext(static_cast<PCItemIDList>(one.get())), nullptr);
    PCItemIDList next = ID::IDNext(static_cast<PCItemIDList>(three.get()));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(IDItemPayload(next), "bb");
    EXPECT_EQ(ID::IDCount(next), 2);
}

TEST_F(IdList, LastPointsIntoTheList) {
    TIDListPtr three = path3();
    PCItemIDList last = ID::IDLast(static_cast<PCItemIDList>(three.get()));
    EXPECT_EQ(IDItemPayload(last), "ccc");
    EXPECT_EQ(IDBytes(last), IDBytes(three.get()) + 4 + 5);
    TIDListPtr one = item("a");
    EXPECT_EQ(ID::IDLast(static_cast<PCItemIDList>(one.get())), one.get());
    TIDListPtr empty(IDMakeEmpty());
    EXPECT_EQ(ID::IDLast(static_cast<PCItemIDList>(empty.get())), empty.get());
    EXPECT_EQ(ID::IDLast(static_cast<PCItemIDList>(nullptr)), nullptr);
}

TEST_F(IdList, CopiesOfNullEmptyOneAndThree) {
    EXPECT_EQ(ID::IDClone(nullptr), nullptr);
    EXPECT_EQ(ID::IDCopyFirst(nullptr), nullptr);
    EXPECT_EQ(ID::IDCopyLast(nullptr), nullptr);
    EXPECT_EQ(ID::IDCopyParent(nullptr), nullptr);

    TIDListPtr empty(IDMakeEmpty());
    for (PItemIDList copy : {ID::IDClone(empty.get()), ID::IDCopyFirst(empty.get()),
                             ID::IDCopyLast(empty.get()), ID::IDCopyParent(empty.get())}) {
        TIDListPtr owned(copy);
        EXPECT_EQ(ID::IDCount(owned.get()), 0);
    }

    TIDListPtr one = item("a");
    TIDListPtr parentOfOne(ID::IDCopyParent(one.get()));
    EXPECT_EQ(ID::IDCount(parentOfOne.get()), 0); // the desktop
    TIDListPtr lastOfOne(ID::IDCopyLast(one.get()));
    EXPECT_TRUE(ID::IDIsEqual(lastOfOne.get(), one.get()));

    TIDListPtr three = path3();
    TIDListPtr clone(ID::IDClone(three.get()));
    EXPECT_NE(clone.get(), three.get());
    EXPECT_EQ(bytesOf(clone.get()), bytesOf(three.get()));
    TIDListPtr first(ID::IDCopyFirst(three.get()));
    EXPECT_TRUE(ID::IDIsEqual(first.get(), item("a").get()));
    TIDListPtr last(ID::IDCopyLast(three.get()));
    EXPECT_TRUE(ID::IDIsEqual(last.get(), item("ccc").get()));
    TIDListPtr parent(ID::IDCopyParent(three.get()));
    EXPECT_EQ(ID::IDCount(parent.get()), 2);
    EXPECT_TRUE(ID::IDIsAncestor(parent.get(), three.get()));
}

TEST_F(IdList, ConcatWithEmptyAndNull) {
    TIDListPtr empty(IDMakeEmpty());
    TIDListPtr three = path3();
    TIDListPtr a(ID::IDConcat(empty.get(), three.get()));
    EXPECT_EQ(bytesOf(a.get()), bytesOf(three.get()));
    TIDListPtr b(ID::IDConcat(three.get(), empty.get()));
    EXPECT_EQ(bytesOf(b.get()), bytesOf(three.get()));
    TIDListPtr both(ID::IDConcat(empty.get(), empty.get()));
    EXPECT_EQ(ID::IDSize(both.get()), 2);
    EXPECT_EQ(ID::IDConcat(nullptr, three.get()), nullptr);
    EXPECT_EQ(ID::IDConcat(three.get(), nullptr), nullptr);
    TIDListPtr six(ID::IDConcat(three.get(), three.get()));
    EXPECT_EQ(ID::IDCount(six.get()), 6);
    EXPECT_EQ(ID::IDSize(six.get()), 2 * (ID::IDSize(three.get()) - 2) + 2);
}

TEST_F(IdList, EqualityIsByteEquality) {
    TIDListPtr a = item("name"), b = item("name"), upper = item("Name");
    EXPECT_TRUE(ID::IDIsEqual(a.get(), b.get()));
    EXPECT_FALSE(ID::IDIsEqual(a.get(), upper.get()));
    EXPECT_FALSE(ID::IDIsEqual(a.get(), nullptr));
    EXPECT_FALSE(ID::IDIsEqual(nullptr, nullptr));
    // Same payload, another kind: another item.
    TIDListPtr onDesktop(IDMakeItem(TShItemKind::DesktopEntry, "name"));
    EXPECT_FALSE(ID::IDIsEqual(a.get(), onDesktop.get()));
    // A list and its own prefix differ.
    TIDListPtr three = path3();
    TIDListPtr parent(ID::IDCopyParent(three.get()));
    EXPECT_FALSE(ID::IDIsEqual(parent.get(), three.get()));
    EXPECT_FALSE(ID::IDIsEqual(three.get(), parent.get()));
}

TEST_F(IdList, AncestorIsAStrictPrefix) {
    TIDListPtr empty(IDMakeEmpty());
    TIDListPtr three = path3();
    TIDListPtr parent(ID::IDCopyParent(three.get()));
    TIDListPtr first(ID::IDCopyFirst(three.get()));
    EXPECT_TRUE(ID::IDIsAncestor(empty.get(), three.get()));
    EXPECT_TRUE(ID::IDIsAncestor(empty.get(), first.get()));
    EXPECT_TRUE(ID::IDIsAncestor(first.get(), three.get()));
    EXPECT_TRUE(ID::IDIsAncestor(parent.get(), three.get()));
    EXPECT_FALSE(ID::IDIsAncestor(three.get(), three.get()));
    EXPECT_FALSE(ID::IDIsAncestor(empty.get(), empty.get()));
    EXPECT_FALSE(ID::IDIsAncestor(three.get(), parent.get()));
    EXPECT_FALSE(ID::IDIsAncestor(nullptr, three.get()));
    EXPECT_FALSE(ID::IDIsAncestor(empty.get(), nullptr));
    // "ab" is not an ancestor of "abc/x" although its bytes start the same way.
    TIDListPtr ab = item("ab");
    TIDListPtr abcx(ID::IDConcat(item("abc").get(), item("x").get()));
    EXPECT_FALSE(ID::IDIsAncestor(ab.get(), abcx.get()));
}

TEST_F(IdList, ValidSizeRejectsCutAndMalformedLists) {
    TIDListPtr three = path3();
    const std::string b = bytesOf(three.get());
    EXPECT_EQ(IDValidSize(b.data(), b.size()), static_cast<int>(b.size()));
    EXPECT_EQ(IDValidSize(b.data(), b.size() + 10), static_cast<int>(b.size()));
    EXPECT_EQ(IDValidSize(b.data(), b.size() - 1), 0); // terminator cut off
    EXPECT_EQ(IDValidSize(b.data(), 4), 0);
    EXPECT_EQ(IDValidSize("\x01\x00\x00\x00", 4), 0); // a count below its own size
    EXPECT_EQ(IDValidSize("\xFF\xFF\x30", 3), 0);     // runs past the end
    EXPECT_EQ(IDValidSize("\x00\x00", 2), 2);
    EXPECT_EQ(IDValidSize("", 0), 0);
}

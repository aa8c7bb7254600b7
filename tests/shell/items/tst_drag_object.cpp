// Drag data of shell items through QMimeData, and the lists of ID lists.
#include "base/errors.h"
#include "shell/items/drag_object.h"
#include "tests/shell/items/namespace_fixture.h"

#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

using namespace kelvora;
using ID = TVelShID;

namespace {

class DragData : public kelvora::test::NamespaceFixture {
protected:
    static PItemIDList entry(std::string_view name) { return IDMakeItem(TShItemKind::Entry, name); }
};

std::uint32_t u32At(const QByteArray& b, int pos) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[pos + i])) << (8 * i);
    return v;
}

} // namespace

TEST_F(DragData, ItemsRoundTripThroughMimeData) {
    const std::string odd = "\xff\xfe.jpg";
    makeFile(home() + "/" + odd);
    makeFile(home() + "/b c.txt");
    TVelShIDList list;
    list.SetParentID(parse(home()).release());
    list.Add(entry(odd));
    list.Add(entry("b c.txt"));
    std::unique_ptr<QMimeData> data(list.CreateDragData());
    ASSERT_TRUE(data->hasFormat(kShellIDListArrayMime));
    EXPECT_TRUE(TVelShDragObject::HasShellData(data.get()));

    TVelShDragObject drag(data.get());
    EXPECT_EQ(drag.ItemCount(), 2);
    TVelShIDList& ids = drag.IDList();
    EXPECT_EQ(&ids, &drag.IDList()); // made once
    ASSERT_EQ(ids.Count(), 2);
    EXPECT_TRUE(ID::IDIsEqual(ids.ParentID(), list.ParentID()));
    EXPECT_NE(ids.ParentID(), list.ParentID()); // copies, not the same blocks
    EXPECT_TRUE(ID::IDIsEqual(ids.Items(0), list.Items(0)));
    EXPECT_TRUE(ID::IDIsEqual(ids.Items(1), list.Items(1)));
    std::string path;
    EXPECT_TRUE(ids.GetPath(0, path));
    EXPECT_EQ(path, home() + "/" + odd);

    // The file-drop list names the same files, bytes and blanks escaped.
    const QByteArray uris = data->data(kUriListMime);
    EXPECT_TRUE(uris.contains("/%FF%FE.jpg\r\n"));
    EXPECT_TRUE(uris.contains("/b%20c.txt\r\n"));
    EXPECT_EQ(ShDecodeUriList(uris),
              (std::vector<std::string>{home() + "/" + odd, home() + "/b c.txt"}));
    // Other programs read it with Qt's own parser.
    ASSERT_EQ(data->urls().size(), 2);
    EXPECT_EQ(data->urls()[1].toLocalFile().toStdString(), home() + "/b c.txt");
}

TEST_F(DragData, ArrayIsLaidOutLikeTheShells) {
    TIDListPtr parent(entry("parent"));
    TIDListPtr a(entry("a")), bb(entry("bb"));
    const QByteArray array = ShEncodeIDListArray(parent.get(), {a.get(), bb.get()});
    const int parentSize = ID::IDSize(parent.get());
    ASSERT_EQ(array.size(), 4 + 3 * 4 + parentSize + ID::IDSize(a.get()) + ID::IDSize(bb.get()));
    EXPECT_EQ(u32At(array, 0), 2u);
    EXPECT_EQ(u32At(array, 4), 16u);
    EXPECT_EQ(u32At(array, 8), static_cast<std::uint32_t>(16 + parentSize));
    EXPECT_EQ(u32At(array, 12), static_cast<std::uint32_t>(16 + parentSize + ID::IDSize(a.get())));
    EXPECT_EQ(IDItemPayload(IDFromBytes(array.constData() + 16)), "parent");
    EXPECT_EQ(IDItemPayload(IDFromBytes(array.constData() + u32At(array, 12))), "bb");
}

TEST_F(DragData, MalformedArraysAreRefused) {
    TIDListPtr parent(entry("p")), child(entry("c"));
    const QByteArray good = ShEncodeIDListArray(parent.get(), {child.get()});
    PItemIDList p = nullptr;
    std::vector<PItemIDList> children;
    QByteArray cut = good.left(good.size() - 1);
    EXPECT_FALSE(ShDecodeIDListArray(cut, p, children));
    QByteArray wild = good;
    wild[8] = '\x7F'; // the child's offset points past the end
    EXPECT_FALSE(ShDecodeIDListArray(wild, p, children));
    QByteArray huge = good;
    huge[3] = '\x10'; // a count far beyond the data
    EXPECT_FALSE(ShDecodeIDListArray(huge, p, children));
    EXPECT_FALSE(ShDecodeIDListArray(QByteArray("\x01\x00", 2), p, children));
    EXPECT_EQ(p, nullptr);
    EXPECT_TRUE(children.empty());

    QMimeData data;
    data.setData(kShellIDListArrayMime, huge);
    TVelShDragObject drag(&data);
    EXPECT_EQ(drag.ItemCount(), 0);
    EXPECT_EQ(drag.IDList().Count(), 0);
}

TEST_F(DragData, AFileDropListFromAnotherProgram) {
    makeFile(home() + "/pics/1.jpg");
    makeFile(home() + "/pics/2.jpg");
    makeFile(home() + "/other/3.jpg");
    QMimeData data;
    data.setData(kUriListMime, QByteArray("# a comment\r\n"
                                          "file://" +
                                          QByteArray::fromStdString(home()) +
                                          "/pics/1.jpg\r\n"
                                          "file://localhost" +
                                          QByteArray::fromStdString(home()) +
                                          "/pics/2.jpg\r\n"
                                          "https://example.org/x.jpg\r\n"
                                          "file://otherhost/etc/passwd\r\n"
                                          "file://" +
                                          QByteArray::fromStdString(home()) + "/other/3.jpg\r\n"));
    EXPECT_TRUE(TVelShDragObject::HasShellData(&data));
    TVelShDragObject drag(&data);
    EXPECT_EQ(drag.ItemCount(), 3); // local files only
    TVelShIDList& ids = drag.IDList();
    // One ID per file, under the folder that holds both folders.
    ASSERT_EQ(ids.Count(), 3);
    EXPECT_TRUE(TVelShID::IDIsEqual(ids.ParentID(), parse(home()).get()));
    const char* expected[] = {"/pics/1.jpg", "/pics/2.jpg", "/other/3.jpg"};
    for (int i = 0; i < 3; ++i) {
        std::string path;
        EXPECT_TRUE(ids.GetPath(i, path));
        EXPECT_EQ(path, home() + expected[i]);
    }

    // Files on two drives meet at the computer.
    const std::string onStick = makeFile(usbMount() + "/4.jpg");
    QMimeData drives;
    drives.setData(kUriListMime, ShEncodeUriList({home() + "/pics/1.jpg", onStick}));
    TVelShDragObject fromDrives(&drives);
    ASSERT_EQ(fromDrives.IDList().Count(), 2);
    EXPECT_EQ(TVelShID::IDCount(fromDrives.IDList().ParentID()), 1);
    std::string path;
    EXPECT_TRUE(fromDrives.IDList().GetPath(1, path));
    EXPECT_EQ(path, onStick);
}

TEST_F(DragData, NeitherFormatAndNoData) {
    QMimeData text;
    text.setText("just text");
    EXPECT_FALSE(TVelShDragObject::HasShellData(&text));
    TVelShDragObject drag(&text);
    EXPECT_EQ(drag.ItemCount(), 0);
    EXPECT_EQ(drag.IDList().Count(), 0);
    drag.Strings().add("kept for the handlers");
    EXPECT_EQ(drag.Strings().count(), 1);
    try {
        TVelShDragObject missing(nullptr);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.message(), QStringLiteral("パラメータが不正です。"));
    }
    EXPECT_FALSE(TVelShDragObject::HasShellData(nullptr));
}

TEST_F(DragData, ListsOwnTheirIDsWhenAsked) {
    const long before = TShellAllocator::LiveBlocks();
    {
        TCustomVelShIDList owning;
        EXPECT_EQ(owning.List(), nullptr);
        EXPECT_EQ(owning.Items(0), nullptr);
        owning.Add(entry("a"));
        owning.Add(entry("b"));
        owning.Insert(1, entry("between"));
        EXPECT_EQ(IDItemPayload(owning.Items(1)), "between");
        EXPECT_EQ(owning.Items(-1), nullptr);
        EXPECT_EQ(owning.Items(3), nullptr);
        ASSERT_NE(owning.List(), nullptr);
        TIDListPtr probe(entry("b"));
        EXPECT_EQ(owning.IndexOf(probe.get()), 2);
        owning.Delete(0);
        EXPECT_EQ(TShellAllocator::LiveBlocks(), before + 3); // two entries and the probe
    }
    EXPECT_EQ(TShellAllocator::LiveBlocks(), before);
    TIDListPtr kept(entry("kept"));
    {
        TVelShIDList borrowing(false);
        borrowing.SetParentID(kept.get());
        borrowing.Add(kept.get());
        borrowing.Delete(0);
    }
    EXPECT_EQ(IDItemPayload(kept.get()), "kept"); // not freed by the list
}

TEST_F(DragData, CommonAttributesOfTheEntries) {
    makeFile(home() + "/d/a.txt");
    makeFile(home() + "/d/b.txt");
    makeDir(home() + "/d/sub");
    TVelShIDList files;
    files.SetParentID(parse(home() + "/d").release());
    files.Add(entry("a.txt"));
    files.Add(entry("b.txt"));
    std::uint32_t common = 0;
    ASSERT_TRUE(files.GetAttributes(common));
    EXPECT_EQ(common,
              SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANRENAME | SFGAO_CANDELETE);
    EXPECT_TRUE(files.HasAttribute(SFGAO_CANMOVE));
    EXPECT_FALSE(files.HasAttribute(SFGAO_DROPTARGET));
    files.Add(entry("sub"));
    EXPECT_FALSE(files.HasAttribute(SFGAO_FOLDER)); // not all of them
    files.Add(entry("missing"));
    EXPECT_FALSE(files.GetAttributes(common));
    EXPECT_EQ(common, 0u);
    TVelShIDList none;
    EXPECT_FALSE(none.HasAttribute(SFGAO_CANCOPY));
    // Entries of the desktop (no parent) are absolute.
    TVelShIDList absolute;
    absolute.Add(IDMakeVirtual(TShVirtualFolder::Computer));
    EXPECT_TRUE(absolute.HasAttribute(SFGAO_FOLDER));
}

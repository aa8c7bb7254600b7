// Drops onto folders of the namespace: which effect a drag gets, and what a drop does.
#include "shell/ops/drop_target.h"
#include "shell/items/id_list_list.h"
#include "shell/items/namespace.h"
#include "tests/shell/items/namespace_fixture.h"
#include "tests/shell/ops/ops_support.h"
#include "tests/support/temp_dir.h"

#include <QSignalSpy>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

class Drops : public NamespaceFixture {
protected:
    void SetUp() override {
        NamespaceFixture::SetUp();
        makeFile(home() + "/pics/a.jpg", "A");
        makeFile(home() + "/pics/b.jpg", "B");
        makeDir(home() + "/pics/sub");
        makeDir(home() + "/albums");
        makeDir(home() + "/locked");
        ::chmod((home() + "/locked").c_str(), 0555);
    }
    // Drag data as a program that knows only file lists makes it.
    static QMimeData* filesData(const std::vector<std::string>& paths) {
        auto* data = new QMimeData;
        data->setData(kUriListMime, ShEncodeUriList(paths));
        return data;
    }
    // "" is the desktop, "trash" the trash, else a path below home.
    TIDListPtr targetID(const std::string& target) const {
        if (target.empty())
            return own(IDMakeEmpty());
        if (target == "trash")
            return own(IDMakeVirtual(TShVirtualFolder::Trash));
        return parse(home() + "/" + target);
    }
    ScriptedUser user;
};

struct EffectCase {
    const char* name;
    std::vector<std::string> sources; // below home
    std::string target;
    Qt::KeyboardModifiers keys;
    Qt::DropActions allowed;
    TShDropEffect expected;
};

class DropEffects : public Drops, public ::testing::WithParamInterface<EffectCase> {};

void PrintTo(const EffectCase& row, std::ostream* out) {
    *out << row.name;
}

constexpr Qt::DropActions kAll = TShDropTarget::kAllActions;
constexpr Qt::KeyboardModifiers kNoKeys = Qt::NoModifier;

} // namespace

TEST_P(DropEffects, FollowTheKeysTheSourceAndTheTarget) {
    const EffectCase& row = GetParam();
    std::vector<std::string> paths;
    for (const std::string& s : row.sources)
        paths.push_back(home() + "/" + s);
    std::unique_ptr<QMimeData> data(filesData(paths));
    TShDropTarget target(user);
    const TIDListPtr id = targetID(row.target);
    EXPECT_EQ(target.DragEnter(data.get(), id.get(), row.keys, row.allowed), row.expected);
    // Moving on over the same item gives the same answer; leaving forgets the drag.
    EXPECT_EQ(target.DragOver(id.get(), row.keys, row.allowed), row.expected);
    target.DragLeave();
    EXPECT_EQ(target.DragOver(id.get(), row.keys, row.allowed), TShDropEffect::None);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DropEffects,
    ::testing::Values(
        EffectCase{
            "SameFileSystemMoves", {"pics/a.jpg"}, "albums", kNoKeys, kAll, TShDropEffect::Move},
        EffectCase{
            "CtrlCopies", {"pics/a.jpg"}, "albums", Qt::ControlModifier, kAll, TShDropEffect::Copy},
        EffectCase{"ShiftMoves",
                   {"pics/a.jpg"},
                   "albums",
                   Qt::ShiftModifier,
                   Qt::CopyAction | Qt::MoveAction,
                   TShDropEffect::Move},
        EffectCase{"CtrlShiftLinks",
                   {"pics/a.jpg", "pics/b.jpg"},
                   "albums",
                   Qt::ControlModifier | Qt::ShiftModifier,
                   kAll,
                   TShDropEffect::Link},
        EffectCase{"OnlyWhatTheSourceAllows",
                   {"pics/a.jpg"},
                   "albums",
                   kNoKeys,
                   Qt::CopyAction,
                   TShDropEffect::Copy},
        EffectCase{
            "OntoTheDesktop", {"pics/a.jpg"}, "", Qt::ControlModifier, kAll, TShDropEffect::Copy},
        EffectCase{"IntoTheTrash",
                   {"pics/a.jpg", "pics/sub"},
                   "trash",
                   Qt::ControlModifier,
                   kAll,
                   TShDropEffect::Move},
        EffectCase{"TrashOnlyTakesMoves",
                   {"pics/a.jpg"},
                   "trash",
                   kNoKeys,
                   Qt::CopyAction,
                   TShDropEffect::None},
        EffectCase{"OntoItsOwnFolder",
                   {"pics/a.jpg", "pics/b.jpg"},
                   "pics",
                   Qt::ControlModifier,
                   kAll,
                   TShDropEffect::None},
        EffectCase{"OntoItself", {"pics/sub"}, "pics/sub", kNoKeys, kAll, TShDropEffect::None},
        EffectCase{
            "IntoItself", {"pics"}, "pics/sub", Qt::ControlModifier, kAll, TShDropEffect::None},
        EffectCase{"OntoAFile", {"pics/a.jpg"}, "pics/b.jpg", kNoKeys, kAll, TShDropEffect::None},
        EffectCase{
            "OntoAReadOnlyFolder", {"pics/a.jpg"}, "locked", kNoKeys, kAll, TShDropEffect::None}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Drops, FilesOutOfAReadOnlyFolderAreCopiedNotMoved) {
    makeFile(home() + "/ro/c.jpg", "C");
    ::chmod((home() + "/ro").c_str(), 0555);
    std::unique_ptr<QMimeData> data(filesData({home() + "/ro/c.jpg"}));
    TShDropTarget target(user);
    const TIDListPtr albums = targetID("albums");
    EXPECT_EQ(target.DragEnter(data.get(), albums.get(), Qt::ShiftModifier, kAll),
              TShDropEffect::Copy);
    ::chmod((home() + "/ro").c_str(), 0755);
}

TEST_F(Drops, ADropOntoAFolderWithTheSameNameAsksAndLosesNothing) {
    makeFile(home() + "/albums/a.jpg", "already here");
    TShDropTarget target(user);
    QSignalSpy finished(&target, &TShDropTarget::operationFinished);
    const TIDListPtr albums = targetID("albums");

    // The browser's own drag data: both files of pics, moved.
    TVelShIDList ids;
    ids.SetParentID(parse(home() + "/pics").release());
    ids.Add(IDMakeItem(TShItemKind::Entry, "a.jpg"));
    ids.Add(IDMakeItem(TShItemKind::Entry, "b.jpg"));
    std::unique_ptr<QMimeData> data(ids.CreateDragData());
    user.answers.push_back({TShConflictAnswer::Skip, false});
    EXPECT_EQ(target.Drop(data.get(), albums.get(), kNoKeys, kAll), TShDropEffect::Move);
    EXPECT_EQ(target.RunningOperations(), 1);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(user.started, 1);
    EXPECT_EQ(user.finished, 1);
    ASSERT_EQ(user.asked.size(), 1u);
    EXPECT_EQ(readFile(home() + "/albums/a.jpg"), "already here");
    EXPECT_EQ(readFile(home() + "/pics/a.jpg"), "A"); // skipped: stays where it was
    EXPECT_EQ(readFile(home() + "/albums/b.jpg"), "B");
    EXPECT_FALSE(fileExists(home() + "/pics/b.jpg"));

    // Again, copied and kept with a number.
    std::unique_ptr<QMimeData> again(filesData({home() + "/pics/a.jpg"}));
    user.answers.push_back({TShConflictAnswer::RenameWithNumber, false});
    EXPECT_EQ(target.Drop(again.get(), albums.get(), Qt::ControlModifier, kAll),
              TShDropEffect::Copy);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(readFile(home() + "/albums/a.jpg"), "already here");
    EXPECT_EQ(readFile(home() + "/albums/a (2).jpg"), "A");
    EXPECT_EQ(readFile(home() + "/pics/a.jpg"), "A");
    const auto result = finished.last().at(0).value<TShOperationResult>();
    EXPECT_EQ(result.created, (std::vector<std::string>{home() + "/albums/a (2).jpg"}));
    EXPECT_EQ(target.RunningOperations(), 0);

    // A drop that is refused starts nothing.
    EXPECT_EQ(target.Drop(again.get(), targetID("locked").get(), kNoKeys, kAll),
              TShDropEffect::None);
    EXPECT_EQ(user.started, 2);
}

TEST_F(Drops, TheTrashTakesItemsByMovingThemIn) {
    std::unique_ptr<QMimeData> data(filesData({home() + "/pics/a.jpg", home() + "/pics/sub"}));
    TShDropTarget target(user);
    QSignalSpy finished(&target, &TShDropTarget::operationFinished);
    const TIDListPtr trashID = targetID("trash");
    EXPECT_EQ(target.Drop(data.get(), trashID.get(), kNoKeys, kAll), TShDropEffect::Move);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(namesIn(trash() + "/files"), (std::vector<std::string>{"a.jpg", "sub"}));
    EXPECT_EQ(namesIn(home() + "/pics"), (std::vector<std::string>{"b.jpg"}));
}

#pragma once
// TVelShViewLink: how a folder tree and a file list reach each other. Each of the
// two holds the link; neither knows the other's members.
//
// What crosses it: each side's public operations (the list shows the tree's
// folder with SetFolder, the tree selects the list's with SelectPath, both
// suspend each other's notification), and what one side tells the other through
// the link's signals: the list shows another folder (the tree watches it
// first), an operation of either ended (both read their folders again), an item
// was renamed in one (the other follows it).
//
// Join breaks the links both had before: a tree has one list at most, and a
// list one tree. A control going away breaks its link. GUI thread only.
#include "shell/items/id_list.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace kelvora {

class TCustomVelShListView;
class TCustomVelShTreeView;

class TVelShViewLink : public QObject {
    Q_OBJECT
public:
    // Links the two (each gets the link through AttachLink).
    static void Join(TCustomVelShTreeView* tree, TCustomVelShListView* list);

    TCustomVelShTreeView* Tree() const;
    TCustomVelShListView* List() const;
    // Both sides lose each other.
    void Break();

signals:
    // The list shows another folder.
    void ListFolderShown();
    // An operation started by a drop onto either side has ended.
    void OperationFinished();
    // The list renamed a folder (its old and new absolute IDs, as bytes).
    void ListItemRenamed(const QByteArray& oldID, const QByteArray& newID);
    // The tree renamed an item: lists of folders that no longer exist go.
    void TreeItemRenamed();

private:
    TVelShViewLink(TCustomVelShTreeView* tree, TCustomVelShListView* list);

    // Each side is a QObject that clears its pointer here when it goes.
    QPointer<QObject> tree_;
    QPointer<QObject> list_;
    TCustomVelShTreeView* treeSide_;
    TCustomVelShListView* listSide_;
};

// A drop's operation on one side ended. The folders it changed may be watched
// by no one (another drive, the trash), or only later: both linked controls read
// theirs again now; a control without a link reads its own (readOwn).
void ShOperationEnded(TVelShViewLink* link, const std::function<void()>& readOwn);

} // namespace kelvora

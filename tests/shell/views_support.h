#pragma once
// Helpers for the tree and list tests: the two controls linked as the main
// window links them, each model under a consistency checker, and the mouse
// and keyboard as a user drives them.
#include "base/codepage.h"
#include "shell/items/drag_object.h"
#include "shell/ops/drop_target.h"
#include "shell/ui/list_view.h"
#include "shell/ui/tree_view.h"
#include "tests/shell/browser_world.h"
#include "tests/shell/scripted_user.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

namespace kelvora::test {

// Notifications wait 1.5 s for quiet; a loaded machine takes longer.
inline constexpr int kNotifyWaitMs = 20000;

inline std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

// A tree linked to a list, both shown, each model checked after every change.
struct Browser {
    explicit Browser(const BrowserWorld& world) {
        list.SetColumnMemoryFile(world.memoryFile());
        tree.SetShListView(&list);
        tree.resize(300, 400);
        list.resize(500, 400);
        tree.show();
        list.show();
    }
    TVelShTreeView tree;
    TVelShListView list;
    QAbstractItemModelTester treeChecker{tree.ShModel(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest};
    QAbstractItemModelTester listChecker{list.ShModel(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest};
};

inline std::string textOf(const TVelShTreeNode* node) {
    return node ? fromQ(node->Text()) : std::string("(none)");
}

inline TVelShTreeNode* childNamed(const TVelShTreeNode* node, const std::string& text) {
    for (int i = 0; node && i < node->Count(); ++i) {
        if (fromQ(node->Child(i)->Text()) == text)
            return node->Child(i);
    }
    return nullptr;
}

inline TVelShTreeNode* homeNode(TCustomVelShTreeView& tree) {
    return childNamed(tree.Root(), "ホーム");
}

inline std::string childTexts(const TVelShTreeNode* node) {
    std::string out;
    for (int i = 0; node && i < node->Count(); ++i) {
        if (i)
            out += ',';
        out += fromQ(node->Child(i)->Text());
    }
    return out;
}

// The shown folder's path, or "" (virtual folders and no list).
inline std::string shownPath(const TCustomVelShListView& list) {
    TVelShFileList* l = list.ShFileList();
    return l ? l->Path() : std::string();
}

inline std::string rowNames(const TCustomVelShListView& list) {
    std::string out;
    for (int i = 0; i < list.ItemsCount(); ++i) {
        std::string name;
        list.Items(i)->GetDisplayName(name);
        if (i)
            out += ',';
        out += name;
    }
    return out;
}

inline int rowNamed(const TCustomVelShListView& list, const std::string& name) {
    for (int i = 0; i < list.ItemsCount(); ++i) {
        std::string n;
        list.Items(i)->GetDisplayName(n);
        if (n == name)
            return i;
    }
    return -1;
}

inline void sendMove(QWidget* w, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Press on the node's label, move by `by` with the button held, release there.
inline void pressMoveRelease(TCustomVelShTreeView& tree, const TVelShTreeNode* node,
                             Qt::MouseButton button, QPoint by = {}) {
    const QModelIndex index = tree.IndexOf(node);
    tree.scrollTo(index);
    const QPoint at = tree.ItemHitRect(index).center();
    QTest::mousePress(tree.viewport(), button, {}, at);
    if (!by.isNull()) {
        sendMove(tree.viewport(), at + by / 2, button);
        sendMove(tree.viewport(), at + by, button);
    }
    QTest::mouseRelease(tree.viewport(), button, {}, at + by);
}

// A click on the button that opens or closes the node's branch.
inline void clickBranchButton(TCustomVelShTreeView& tree, const TVelShTreeNode* node) {
    const QRect cell = tree.visualRect(tree.IndexOf(node));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                      QPoint(cell.left() - tree.indentation() / 2, cell.center().y()));
}

inline void clickNode(TCustomVelShTreeView& tree, const TVelShTreeNode* node) {
    pressMoveRelease(tree, node, Qt::LeftButton);
}

// Drag data as a program that knows only file lists makes it.
inline std::unique_ptr<QMimeData> filesData(const std::vector<std::string>& paths) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QString::fromLatin1(kUriListMime), ShEncodeUriList(paths));
    return data;
}

inline constexpr Qt::DropActions kAllDropActions = TShDropTarget::kAllActions;

// Drags data into a view's viewport and over `at`; the action the view offers
// there (IgnoreAction when it refuses).
inline Qt::DropAction dragOver(QWidget* viewport, QPoint at, const QMimeData* data,
                               Qt::KeyboardModifiers keys = {},
                               Qt::DropActions actions = kAllDropActions) {
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &move);
    return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
}

// Drops there; the action the view carried out.
inline Qt::DropAction dropAt(QWidget* viewport, QPoint at, const QMimeData* data,
                             Qt::KeyboardModifiers keys = {},
                             Qt::DropActions actions = kAllDropActions) {
    QDropEvent drop(QPointF(at), actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

inline QPoint nodePoint(TCustomVelShTreeView& tree, const TVelShTreeNode* node) {
    const QModelIndex index = tree.IndexOf(node);
    tree.scrollTo(index);
    return tree.ItemHitRect(index).center();
}

inline QPoint rowPoint(TCustomVelShListView& list, int row) {
    QAbstractItemView* view = list.ActiveView();
    const QModelIndex index = list.ShModel()->index(row, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

} // namespace kelvora::test

#pragma once
// The folder tree's items and nodes. A node owns its item (TVelShFolderData)
// and its child nodes; an item knows its node. Nodes are made and deleted only
// by the tree's model, on the GUI thread.
#include "shell/items/shell_item.h"

#include <QString>
#include <Qt>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvora {

class TVelShTreeModel;
class TVelShTreeNode;

class TVelShFolderData : public TVelShData {
public:
    using TVelShData::TVelShData;

    // The node's position in the whole tree (parents before children), -1 without node.
    int GetIndex() override;
    // The tree control that shows the node.
    QObject* GetOwnerControl() override;
    TVelShTreeNode* Node() const { return node_; }

private:
    friend class TVelShTreeNode;
    TVelShTreeNode* node_ = nullptr;
};

class TVelShTreeNode {
public:
    TVelShTreeNode(TVelShTreeModel* model, TVelShTreeNode* parent)
        : model_(model), parent_(parent) {}
    ~TVelShTreeNode();
    TVelShTreeNode(const TVelShTreeNode&) = delete;
    TVelShTreeNode& operator=(const TVelShTreeNode&) = delete;

    TVelShTreeModel* Model() const { return model_; }
    TVelShTreeNode* Parent() const { return parent_; }
    int Count() const { return static_cast<int>(children_.size()); }
    // Null outside 0..Count-1.
    TVelShTreeNode* Child(int index) const;
    // The position among the parent's children (0 for the root node).
    int Index() const;
    // 0 for the root node.
    int Level() const;
    int AbsoluteIndex() const;

    TVelShFolderData* Data() const { return data_.get(); }
    // Has an item, and the item has its IDs.
    bool IsValid() const { return data_ && data_->IsValid(); }
    // The node owns the item from now on; its has-children mark and overlay come
    // from the item and its cut mark is cleared.
    void Attach(std::unique_ptr<TVelShFolderData> data);
    // Takes the marks from the item again.
    void Reattach();

    const QString& Text() const { return text_; }
    void SetText(QString text) { text_ = std::move(text); }
    // Whether the node offers to expand before it has been filled.
    bool HasChildren() const { return hasChildren_; }
    void SetHasChildren(bool value) { hasChildren_ = value; }
    int OverlayIndex() const { return overlayIndex_; }
    bool Cut() const { return cut_; }
    void SetCut(bool value) { cut_ = value; }
    Qt::CheckState CheckState() const { return checkState_; }
    void SetCheckState(Qt::CheckState state) { checkState_ = state; }

    // How the node is drawn, read from the item on first use.
    bool IsCompressed() { return look() & kCompressed; }
    bool IsHidden() { return look() & kHidden; }

private:
    friend class TVelShTreeModel;
    static constexpr std::uint8_t kLookRead = 1, kCompressed = 2, kHidden = 4;
    std::uint8_t look();
    void renumber() const;
    // A fresher item for the same ID; the marks stay until the next Reattach.
    void replaceData(std::unique_ptr<TVelShFolderData> data);

    TVelShTreeModel* model_;
    TVelShTreeNode* parent_;
    std::unique_ptr<TVelShFolderData> data_;
    std::vector<std::unique_ptr<TVelShTreeNode>> children_;
    QString text_;
    bool hasChildren_ = false;
    bool cut_ = false;
    mutable bool rowsDirty_ = false; // the children's indexes need renumbering
    std::uint8_t look_ = 0;
    int overlayIndex_ = -1;
    mutable int index_ = 0;
    Qt::CheckState checkState_ = Qt::Unchecked;
};

} // namespace kelvora

#include "shell/ui/folder_data.h"

#include "shell/ui/tree_model.h"

namespace kelvora {

int TVelShFolderData::GetIndex() {
    return node_ ? node_->AbsoluteIndex() : -1;
}

QObject* TVelShFolderData::GetOwnerControl() {
    return node_ && node_->Model() ? node_->Model()->OwnerControl() : nullptr;
}

TVelShTreeNode::~TVelShTreeNode() {
    if (data_)
        data_->node_ = nullptr;
}

TVelShTreeNode* TVelShTreeNode::Child(int index) const {
    return index >= 0 && index < Count() ? children_[static_cast<std::size_t>(index)].get()
                                         : nullptr;
}

void TVelShTreeNode::renumber() const {
    for (std::size_t i = 0; i < children_.size(); ++i)
        children_[i]->index_ = static_cast<int>(i);
    rowsDirty_ = false;
}

int TVelShTreeNode::Index() const {
    if (!parent_)
        return 0;
    if (parent_->rowsDirty_)
        parent_->renumber();
    return index_;
}

int TVelShTreeNode::Level() const {
    int level = 0;
    for (const TVelShTreeNode* p = parent_; p; p = p->parent_)
        ++level;
    return level;
}

int TVelShTreeNode::AbsoluteIndex() const {
    if (!parent_)
        return 0;
    // The parent, then every node of the earlier siblings' subtrees.
    int index = parent_->AbsoluteIndex() + 1;
    const auto subtree = [](const TVelShTreeNode* n, const auto& self) -> int {
        int total = 1;
        for (const auto& c : n->children_)
            total += self(c.get(), self);
        return total;
    };
    for (int i = 0; i < Index(); ++i)
        index += subtree(parent_->children_[static_cast<std::size_t>(i)].get(), subtree);
    return index;
}

void TVelShTreeNode::Attach(std::unique_ptr<TVelShFolderData> data) {
    if (data_)
        data_->node_ = nullptr;
    data_ = std::move(data);
    if (data_)
        data_->node_ = this;
    Reattach();
}

void TVelShTreeNode::replaceData(std::unique_ptr<TVelShFolderData> data) {
    if (data_)
        data_->node_ = nullptr;
    data_ = std::move(data);
    if (data_)
        data_->node_ = this;
    look_ = 0;
}

void TVelShTreeNode::Reattach() {
    cut_ = false;
    look_ = 0;
    hasChildren_ = data_ && data_->HasAttribute(SFGAO_HASSUBFOLDER);
    overlayIndex_ = data_ ? data_->GetOverlayIndex() : -1;
}

std::uint8_t TVelShTreeNode::look() {
    if (!(look_ & kLookRead)) {
        look_ = kLookRead;
        if (data_ && data_->HasAttribute(SFGAO_COMPRESSED))
            look_ |= kCompressed;
        if (data_ && data_->HasAttribute(SFGAO_GHOSTED))
            look_ |= kHidden;
    }
    return look_;
}

} // namespace kelvora

#include "shell/ui/tree_model.h"

#include "base/codepage.h"
#include "shell/items/namespace.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/item_icons.h"

#include <QColor>

namespace kelvora {

namespace {

// Counts a model change from its begin signal to its end signal.
struct ChangeScope {
    int& counter;
    explicit ChangeScope(int& c) : counter(c) { ++counter; }
    ~ChangeScope() { --counter; }
};

bool isVirtualOfDesktop(TShItemIDType t) {
    return t == itBitBucket || t == itNetWork || t == itVirtual || t == itInterNet;
}

} // namespace

TVelShTreeModel::TVelShTreeModel(QObject* ownerControl, QObject* parent)
    : QAbstractItemModel(parent), owner_(ownerControl) {}

TVelShTreeModel::~TVelShTreeModel() = default;

void TVelShTreeModel::SetCheckboxes(bool on) {
    if (on == checkboxes_)
        return;
    // Only the flags and a role change: the nodes and the view's state stay.
    ChangeScope scope(changing_);
    emit layoutAboutToBeChanged();
    checkboxes_ = on;
    emit layoutChanged();
}

std::unique_ptr<TVelShTreeNode> TVelShTreeModel::makeNode(TVelShTreeNode* parent,
                                                          std::unique_ptr<TVelShFolderData> item) {
    auto node = std::make_unique<TVelShTreeNode>(this, parent);
    std::string name;
    item->GetDisplayName(name);
    node->SetText(toDisplayQ(name));
    node->Attach(std::move(item));
    return node;
}

void TVelShTreeModel::Build(std::unique_ptr<TVelShFolderData> rootItem) {
    ChangeScope scope(changing_);
    ++generation_;
    beginResetModel();
    root_.reset();
    if (rootItem)
        root_ = makeNode(nullptr, std::move(rootItem));
    endResetModel();
}

bool TVelShTreeModel::accepts(TVelShFolderData* item) const {
    return !accept_ || accept_(item);
}

TVelShTreeModel::TReadRequest TVelShTreeModel::MakeReadRequest(TVelShTreeNode* node) const {
    TReadRequest request;
    request.options = options_;
    request.generation = generation_;
    if (!node || !node->IsValid())
        return request;
    TVelShFolderData* parent = node->Data();
    request.folderID.reset(TVelShID::IDClone(parent->GetAbsoluteID()));
    request.parentLevel = parent->GetLevel();
    request.parentType = request.parentLevel == 1 ? parent->GetItemType() : itUnknown;
    return request;
}

TVelShTreeModel::TReading TVelShTreeModel::Read(const TReadRequest& request, PShellFolder folder,
                                                bool prepared) {
    TReading reading;
    reading.generation = request.generation;
    if (!folder && request.folderID) {
        const PCItemIDList id = request.folderID.get();
        folder =
            TVelShID::IDCount(id) == 0 ? ShDesktopFolder() : ShDesktopFolder()->BindToObject(id);
    }
    if (!folder)
        return reading;
    reading.folder = folder;
    reading.read = true;
    std::uint32_t flags = SHCONTF_FOLDERS;
    if (request.options.includeFiles)
        flags |= SHCONTF_NONFOLDERS;
    if (request.options.includeHidden)
        flags |= SHCONTF_INCLUDEHIDDEN;
    std::vector<TIDListPtr> ids;
    // A folder that cannot be read shows empty.
    folder->EnumObjects(flags, ids);

    const TShVirtuaItems shown = request.options.virtuaItems;
    if (request.parentType == itNetWork && !shown.contains(itNetWork))
        return reading;
    auto& items = reading.items;
    items.reserve(ids.size());
    for (TIDListPtr& id : ids) {
        auto item = std::make_unique<TVelShFolderData>(folder, id.release());
        if (request.parentLevel == 0) {
            const TShItemIDType t = item->GetItemType();
            if (isVirtualOfDesktop(t) && !shown.contains(t))
                continue;
        } else if (request.parentType == itMyComputer) {
            const TShItemIDType t = item->GetItemType();
            if ((t == itVirtual || t == itControls) && !shown.contains(t))
                continue;
        }
        if (prepared) {
            // What a node takes from its item, and what drawing it asks; the
            // folder keeps the answers. The icon's index is the image list's,
            // which belongs to the GUI thread: it is chosen there, from the
            // attributes and the name alone.
            std::string name;
            item->GetDisplayName(name);
            item->GetItemType();
            item->HasAttribute(SFGAO_HASSUBFOLDER);
            item->HasAttribute(SFGAO_COMPRESSED);
            item->HasAttribute(SFGAO_GHOSTED);
            item->GetOverlayIndex();
        }
        items.push_back(std::move(item));
    }
    folder->SortItems(
        0, items.begin(), items.end(),
        [](const std::unique_ptr<TVelShFolderData>& i) { return i->GetRelativeID(); });
    return reading;
}

int TVelShTreeModel::insertRun(TVelShTreeNode* node, std::size_t pos,
                               std::vector<std::unique_ptr<TVelShFolderData>>& items,
                               std::size_t from, std::size_t to) {
    std::vector<std::unique_ptr<TVelShTreeNode>> added;
    for (std::size_t i = from; i < to; ++i) {
        if (accepts(items[i].get()))
            added.push_back(makeNode(node, std::move(items[i])));
    }
    if (added.empty())
        return 0;
    const int first = static_cast<int>(pos);
    const int count = static_cast<int>(added.size());
    ChangeScope scope(changing_);
    beginInsertRows(IndexOf(node), first, first + count - 1);
    node->children_.insert(node->children_.begin() + first, std::make_move_iterator(added.begin()),
                           std::make_move_iterator(added.end()));
    node->rowsDirty_ = true;
    endInsertRows();
    return count;
}

void TVelShTreeModel::removeRun(TVelShTreeNode* node, std::size_t from, std::size_t to) {
    if (from >= to)
        return;
    ChangeScope scope(changing_);
    beginRemoveRows(IndexOf(node), static_cast<int>(from), static_cast<int>(to) - 1);
    // Taken out first: a node's destructor must not run while the vector shifts.
    std::vector<std::unique_ptr<TVelShTreeNode>> gone(
        std::make_move_iterator(node->children_.begin() + static_cast<std::ptrdiff_t>(from)),
        std::make_move_iterator(node->children_.begin() + static_cast<std::ptrdiff_t>(to)));
    node->children_.erase(node->children_.begin() + static_cast<std::ptrdiff_t>(from),
                          node->children_.begin() + static_cast<std::ptrdiff_t>(to));
    node->rowsDirty_ = true;
    gone.clear();
    endRemoveRows();
}

bool TVelShTreeModel::Fill(TVelShTreeNode* node) {
    TShBusyCursor busy;
    if (!node || !node->IsValid())
        return false;
    PShellFolder folder;
    if (!node->Data()->BindFolder(folder))
        return false;
    return Merge(node, Read(MakeReadRequest(node), folder, false));
}

bool TVelShTreeModel::Merge(TVelShTreeNode* node, TReading reading) {
    if (!node || !reading.read || reading.generation != generation_)
        return false;
    const PShellFolder& folder = reading.folder;
    auto& items = reading.items;
    auto& kids = node->children_;
    const auto compare = [&](std::size_t existing, std::size_t item) {
        const TVelShFolderData* data = kids[existing]->Data();
        return TVelShID::IDCompare(folder, data ? data->GetRelativeID() : nullptr,
                                   items[item]->GetRelativeID());
    };
    std::size_t pos = 0, next = 0;
    while (next < items.size()) {
        if (pos == kids.size()) {
            pos += static_cast<std::size_t>(insertRun(node, pos, items, next, items.size()));
            break;
        }
        const int order = compare(pos, next);
        if (order == TVelShID::cmpEqual) {
            kids[pos]->replaceData(std::move(items[next]));
            ++pos;
            ++next;
        } else if (order == TVelShID::cmpAfter) {
            // New items that belong before the existing node.
            std::size_t end = next + 1;
            while (end < items.size() && compare(pos, end) == TVelShID::cmpAfter)
                ++end;
            pos += static_cast<std::size_t>(insertRun(node, pos, items, next, end));
            next = end;
        } else {
            // The existing node is gone (or cannot be compared any more).
            std::size_t end = pos + 1;
            while (end < kids.size()) {
                const int o = compare(end, next);
                if (o == TVelShID::cmpEqual || o == TVelShID::cmpAfter)
                    break;
                ++end;
            }
            removeRun(node, pos, end);
        }
    }
    removeRun(node, pos, kids.size());
    return true;
}

TVelShTreeNode* TVelShTreeModel::ChildOf(const TVelShTreeNode* node, PCItemIDList id) const {
    if (!node || !id || TVelShID::IDCount(id) < 1)
        return nullptr;
    const std::string_view wanted = IDItemBytes(id);
    for (const auto& child : node->children_) {
        if (child->Data() && IDItemBytes(child->Data()->GetRelativeID()) == wanted &&
            TVelShID::IDCount(child->Data()->GetRelativeID()) == 1)
            return child.get();
    }
    return nullptr;
}

void TVelShTreeModel::Reattach(TVelShTreeNode* node) {
    if (!node)
        return;
    node->Reattach();
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void TVelShTreeModel::SetText(TVelShTreeNode* node, QString text) {
    if (!node || node->Text() == text)
        return;
    node->SetText(std::move(text));
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void TVelShTreeModel::Renamed(TVelShTreeNode* node) {
    if (!node || !node->Data())
        return;
    removeRun(node, 0, node->children_.size());
    std::string name;
    node->Data()->GetDisplayName(name);
    node->SetText(toDisplayQ(name));
    node->Reattach();
    if (TVelShTreeNode* parent = node->parent_) {
        // Its place among the others, which are still in order.
        const int from = node->Index();
        int to = 0;
        for (const auto& sibling : parent->children_) {
            if (sibling.get() == node)
                continue;
            if (ShCompareData(node->Data(), sibling->Data()) < 0)
                break;
            ++to;
        }
        if (to != from) {
            ChangeScope scope(changing_);
            const QModelIndex parentIndex = IndexOf(parent);
            // Qt counts the destination before the row leaves.
            if (beginMoveRows(parentIndex, from, from, parentIndex, to > from ? to + 1 : to)) {
                auto& kids = parent->children_;
                auto moving = std::move(kids[static_cast<std::size_t>(from)]);
                kids.erase(kids.begin() + from);
                kids.insert(kids.begin() + to, std::move(moving));
                parent->rowsDirty_ = true;
                endMoveRows();
            }
        }
    }
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void TVelShTreeModel::SetHasChildren(TVelShTreeNode* node, bool value) {
    if (!node || node->HasChildren() == value)
        return;
    node->SetHasChildren(value);
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

QModelIndex TVelShTreeModel::IndexOf(const TVelShTreeNode* node) const {
    if (!node)
        return {};
    return createIndex(node->Index(), 0, const_cast<TVelShTreeNode*>(node));
}

TVelShTreeNode* TVelShTreeModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TVelShTreeNode*>(index.internalPointer());
}

QModelIndex TVelShTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 && root_ ? createIndex(0, 0, root_.get()) : QModelIndex();
    const TVelShTreeNode* p = NodeOf(parent);
    TVelShTreeNode* child = p && parent.column() == 0 ? p->Child(row) : nullptr;
    return child ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex TVelShTreeModel::parent(const QModelIndex& child) const {
    const TVelShTreeNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TVelShTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return root_ ? 1 : 0;
    const TVelShTreeNode* node = NodeOf(parent);
    return node && parent.column() == 0 ? node->Count() : 0;
}

int TVelShTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TVelShTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid())
        return root_ != nullptr;
    const TVelShTreeNode* node = NodeOf(parent);
    return node && parent.column() == 0 && (node->Count() > 0 || node->HasChildren());
}

QVariant TVelShTreeModel::data(const QModelIndex& index, int role) const {
    TVelShTreeNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node->Text();
    case Qt::DecorationRole:
        if (TVelShFolderData* data = node->Data())
            return TShItemIcons::instance().icon(data->GetImageIndex(), data->GetSelectedIndex(),
                                                 node->OverlayIndex(),
                                                 node->Cut() || node->IsHidden());
        return {};
    case Qt::ForegroundRole:
        // Compressed items in blue, as the desktop shell draws them.
        return node->IsCompressed() ? QVariant(QColor(Qt::blue)) : QVariant();
    case Qt::CheckStateRole:
        return checkboxes_ ? QVariant(node->CheckState()) : QVariant();
    default:
        return {};
    }
}

bool TVelShTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TVelShTreeNode* node = NodeOf(index);
    if (node && role == Qt::EditRole)
        return rename_ && rename_(node, value.toString());
    if (!node || role != Qt::CheckStateRole || !checkboxes_)
        return false;
    node->SetCheckState(static_cast<Qt::CheckState>(value.toInt()));
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags TVelShTreeModel::flags(const QModelIndex& index) const {
    if (!NodeOf(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkboxes_)
        f |= Qt::ItemIsUserCheckable;
    if (rename_)
        f |= Qt::ItemIsEditable;
    return f;
}

} // namespace kelvora

#include "shell/items/id_list_list.h"

#include "shell/items/drag_object.h"
#include "shell/items/namespace.h"

namespace kelvora {

// --- TCustomVelShIDList -------------------------------------------------------------

TCustomVelShIDList::~TCustomVelShIDList() {
    if (ownsIDs_) {
        for (PItemIDList& id : items_)
            TVelShID::IDFree(id);
    }
}

PItemIDList TCustomVelShIDList::Items(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

int TCustomVelShIDList::Add(PItemIDList id) {
    items_.push_back(id);
    Changed();
    return Count() - 1;
}

void TCustomVelShIDList::Insert(int index, PItemIDList id) {
    if (index < 0 || index > Count())
        index = Count();
    items_.insert(items_.begin() + index, id);
    Changed();
}

void TCustomVelShIDList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    if (ownsIDs_)
        TVelShID::IDFree(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    Changed();
}

void TCustomVelShIDList::Clear() {
    if (ownsIDs_) {
        for (PItemIDList& id : items_)
            TVelShID::IDFree(id);
    }
    items_.clear();
    Changed();
}

int TCustomVelShIDList::IndexOf(PCItemIDList id) const {
    for (int i = 0; i < Count(); ++i) {
        if (TVelShID::IDIsEqual(items_[static_cast<std::size_t>(i)], id))
            return i;
    }
    return -1;
}

bool TCustomVelShIDList::GetPath(int index, std::string& path) const {
    path.clear();
    PCItemIDList id = Items(index);
    return id && TVelShID::IDGetPath(id, path);
}

// --- TVelShIDList -------------------------------------------------------------------

TVelShIDList::~TVelShIDList() {
    if (ownsIDs_)
        TVelShID::IDFree(parentID_);
}

void TVelShIDList::SetParentID(PItemIDList id) {
    if (ownsIDs_ && parentID_ != id)
        TVelShID::IDFree(parentID_);
    parentID_ = id;
    Changed();
}

bool TVelShIDList::GetParentFolder(PShellFolder& folder) const {
    if (!parentID_ || TVelShID::IDCount(parentID_) == 0)
        folder = ShDesktopFolder();
    else
        folder = ShDesktopFolder()->BindToObject(parentID_);
    return folder != nullptr;
}

bool TVelShIDList::GetAttributes(std::uint32_t& attributes) const {
    attributes = SFGAO_CAPABILITYMASK;
    PShellFolder folder;
    if (!GetParentFolder(folder) || items_.empty()) {
        attributes = 0;
        return false;
    }
    return folder->GetAttributesOf(std::vector<PCItemIDList>(items_.begin(), items_.end()),
                                   attributes);
}

bool TVelShIDList::HasAttribute(std::uint32_t flag) const {
    PShellFolder folder;
    std::uint32_t attributes = flag;
    return GetParentFolder(folder) && !items_.empty() &&
           folder->GetAttributesOf(std::vector<PCItemIDList>(items_.begin(), items_.end()),
                                   attributes) &&
           (attributes & flag) == flag;
}

bool TVelShIDList::GetPath(int index, std::string& path) const {
    path.clear();
    PCItemIDList id = Items(index);
    if (!id)
        return false;
    if (!parentID_)
        return TVelShID::IDGetPath(id, path);
    TIDListPtr absolute(TVelShID::IDConcat(parentID_, id));
    return absolute && TVelShID::IDGetPath(absolute.get(), path);
}

QMimeData* TVelShIDList::CreateDragData() const {
    auto* data = new QMimeData;
    TIDListPtr desktop(parentID_ ? nullptr : IDMakeEmpty());
    std::vector<PCItemIDList> children(items_.begin(), items_.end());
    data->setData(QString::fromLatin1(kShellIDListArrayMime),
                  ShEncodeIDListArray(parentID_ ? parentID_ : desktop.get(), children));
    std::vector<std::string> paths;
    for (int i = 0; i < Count(); ++i) {
        std::string path;
        if (GetPath(i, path))
            paths.push_back(std::move(path));
    }
    if (!paths.empty())
        data->setData(QString::fromLatin1(kUriListMime), ShEncodeUriList(paths));
    return data;
}

} // namespace kelvora

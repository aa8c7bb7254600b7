#include "shell/items/shell_folder.h"

#include "shell/items/image_list.h"
#include "shell/shell_texts.h"

namespace kelvora {

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

} // namespace

TShellFolder::TShellFolder(PItemIDList absoluteID) : absolute_(absoluteID) {}

TShellFolder::~TShellFolder() = default;

PShellFolder TShellFolder::childFolder(PCItemIDList rel) {
    TIDListPtr first(TVelShID::IDCopyFirst(rel));
    return first ? bindToObject(first.get()) : nullptr;
}

bool TShellFolder::EnumObjects(std::uint32_t flags, std::vector<TIDListPtr>& items) {
    items.clear();
    return enumObjects(flags, items);
}

bool TShellFolder::GetAttributesOf(PCItemIDList rel, std::uint32_t& attributes) {
    const int count = TVelShID::IDCount(rel);
    bool ok = false;
    if (count == 0) {
        ok = selfAttributes(attributes);
    } else if (count == 1) {
        ok = attributesOf(rel, attributes);
    } else if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->GetAttributesOf(TVelShID::IDNext(rel), attributes);
    }
    if (!ok)
        attributes = 0;
    return ok;
}

bool TShellFolder::GetAttributesOf(const std::vector<PCItemIDList>& rels,
                                   std::uint32_t& attributes) {
    const std::uint32_t mask = attributes;
    std::uint32_t common = mask;
    for (PCItemIDList rel : rels) {
        std::uint32_t a = mask;
        if (!GetAttributesOf(rel, a)) {
            attributes = 0;
            return false;
        }
        common &= a;
    }
    attributes = common;
    return !rels.empty();
}

bool TShellFolder::GetDisplayNameOf(PCItemIDList rel, std::uint32_t flags, std::string& name) {
    name.clear();
    const int count = TVelShID::IDCount(rel);
    if (count == 0)
        return selfDisplayName(flags, name);
    if (count == 1)
        return displayNameOf(rel, flags, name);
    if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->GetDisplayNameOf(TVelShID::IDNext(rel), flags, name);
    }
    return false;
}

bool TShellFolder::CompareIDs(int column, PCItemIDList a, PCItemIDList b, int& result) {
    result = 0;
    if (!a || !b || column < 0 || column > 3)
        return false;
    const int ca = TVelShID::IDCount(a), cb = TVelShID::IDCount(b);
    if (ca == 0 || cb == 0) {
        // The folder itself comes before anything inside it.
        result = (ca != 0) - (cb != 0);
        return true;
    }
    TIDListPtr fa(TVelShID::IDCopyFirst(a)), fb(TVelShID::IDCopyFirst(b));
    const TShSortEntry* ea = fa ? sortEntryOf(fa.get(), column) : nullptr;
    const TShSortEntry* eb = fb ? sortEntryOf(fb.get(), column) : nullptr;
    if (!ea || !eb)
        return false;
    result = CompareSortEntries(column, *ea, *eb);
    if (result != 0 || (ca == 1 && cb == 1))
        return true;
    if (ca == 1 || cb == 1) {
        result = ca == 1 ? -1 : 1; // a parent before its children
        return true;
    }
    PShellFolder child = bindToObject(fa.get());
    return child && child->CompareIDs(column, TVelShID::IDNext(a), TVelShID::IDNext(b), result);
}

PShellFolder TShellFolder::BindToObject(PCItemIDList rel) {
    const int count = TVelShID::IDCount(rel);
    if (count < 1)
        return nullptr;
    if (count == 1)
        return bindToObject(rel);
    PShellFolder child = childFolder(rel);
    return child ? child->BindToObject(TVelShID::IDNext(rel)) : nullptr;
}

int TShellFolder::GetIconOf(PCItemIDList rel, bool open) {
    const int count = TVelShID::IDCount(rel);
    if (count == 0)
        return selfIcon(open);
    if (count == 1)
        return iconOf(rel, open);
    if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->GetIconOf(TVelShID::IDNext(rel), open);
    }
    return -1;
}

bool TShellFolder::GetFindDataOf(PCItemIDList rel, TShFindData& data) {
    data = TShFindData();
    const int count = TVelShID::IDCount(rel);
    bool ok = false;
    if (count == 1) {
        ok = findDataOf(rel, data);
    } else if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->GetFindDataOf(TVelShID::IDNext(rel), data);
    }
    if (!ok)
        data = TShFindData();
    return ok;
}

bool TShellFolder::GetTypeNameOf(PCItemIDList rel, std::string& name) {
    name.clear();
    const int count = TVelShID::IDCount(rel);
    if (count == 0)
        return selfTypeName(name);
    if (count == 1)
        return typeNameOf(rel, name);
    if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->GetTypeNameOf(TVelShID::IDNext(rel), name);
    }
    return false;
}

bool TShellFolder::ResolveLinkOf(PCItemIDList rel, PItemIDList& target) {
    target = nullptr;
    const int count = TVelShID::IDCount(rel);
    if (count == 1)
        return resolveLinkOf(rel, target);
    if (count > 1) {
        if (PShellFolder child = childFolder(rel))
            return child->ResolveLinkOf(TVelShID::IDNext(rel), target);
    }
    return false;
}

bool TShellFolder::SetNameOf(PCItemIDList rel, const std::string& newName, PItemIDList& newRel,
                             QString* error) {
    newRel = nullptr;
    QString reason = VelShCst::Text(VelShCst::SCannotRename);
    bool ok = false;
    const int count = TVelShID::IDCount(rel);
    if (count == 1) {
        ok = setNameOf(rel, newName, newRel, reason);
    } else if (count > 1) {
        if (PShellFolder child = childFolder(rel)) {
            PItemIDList renamed = nullptr;
            if (child->SetNameOf(TVelShID::IDNext(rel), newName, renamed, &reason)) {
                TIDListPtr tail(renamed);
                TIDListPtr first(TVelShID::IDCopyFirst(rel));
                newRel = TVelShID::IDConcat(first.get(), tail.get());
                ok = newRel != nullptr;
            }
        }
    }
    if (!ok && error)
        *error = reason;
    return ok;
}

bool TShellFolder::setNameOf(PCItemIDList, const std::string&, PItemIDList&, QString& error) {
    error = VelShCst::Text(VelShCst::SCannotRename);
    return false;
}

TShSortEntry* TShellFolder::SortEntryOf(PCItemIDList item, int column) {
    if (TVelShID::IDCount(item) != 1 || column < 0 || column > 3)
        return nullptr;
    return sortEntryOf(item, column);
}

int TShellFolder::CompareSortEntries(int column, const TShSortEntry& a, const TShSortEntry& b) {
    if (a.group != b.group)
        return a.group < b.group ? -1 : 1;
    if (a.group == 0 && a.rank != b.rank)
        return a.rank < b.rank ? -1 : 1;
    switch (column) {
    case 1:
        if (a.size != b.size)
            return a.size < b.size ? -1 : 1;
        break;
    case 2:
        if (a.type && b.type && a.type != b.type) {
            if (const int r = a.type->typeKey.compare(b.type->typeKey))
                return sign(r);
        }
        break;
    case 3:
        if (a.mtime != b.mtime)
            return a.mtime < b.mtime ? -1 : 1;
        break;
    default:
        break;
    }
    if (a.nameKey && b.nameKey) {
        if (const int r = a.nameKey->compare(*b.nameKey))
            return sign(r);
    }
    return sign(a.tieBreak.compare(b.tieBreak));
}

void TShellFolder::fillNameKey(TShSortEntry& entry) {
    if (!entry.nameKey)
        entry.nameKey = ShSortKey(entry.name);
}

int TShellFolder::iconIndex(const QStringList& names) {
    return TShImageList::instance().indexFor(names);
}

int TShellFolder::iconIndex(const PShFileType& type) {
    int index = type->iconIndex.load(std::memory_order_relaxed);
    if (index < 0) {
        index = iconIndex(type->iconNames);
        type->iconIndex.store(index, std::memory_order_relaxed);
    }
    return index;
}

} // namespace kelvora

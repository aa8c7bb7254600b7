#include "shell/items/drag_object.h"

#include "base/errors.h"
#include "shell/shell_texts.h"
#include "shell/items/trash.h"

#include <cstring>

namespace kelvora {

namespace {

void putU32(QByteArray& out, std::size_t pos, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[static_cast<qsizetype>(pos) + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t getU32(const QByteArray& in, std::size_t pos) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(
                 static_cast<unsigned char>(in[static_cast<qsizetype>(pos) + i]))
             << (8 * i);
    return v;
}

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

QByteArray ShEncodeIDListArray(PCItemIDList parent, const std::vector<PCItemIDList>& children) {
    // A null ID is written as the empty list.
    const auto sizeOf = [](PCItemIDList id) {
        return id ? static_cast<std::size_t>(TVelShID::IDSize(id)) : std::size_t{2};
    };
    const std::size_t count = children.size();
    std::size_t size = 4 + 4 * (count + 1) + sizeOf(parent);
    for (PCItemIDList c : children)
        size += sizeOf(c);
    QByteArray out(static_cast<qsizetype>(size), '\0');
    putU32(out, 0, static_cast<std::uint32_t>(count));
    std::size_t pos = 4 + 4 * (count + 1);
    for (std::size_t i = 0; i <= count; ++i) {
        PCItemIDList id = i == 0 ? parent : children[i - 1];
        putU32(out, 4 + 4 * i, static_cast<std::uint32_t>(pos));
        if (id)
            std::memcpy(out.data() + pos, id, sizeOf(id));
        pos += sizeOf(id);
    }
    return out;
}

bool ShDecodeIDListArray(const QByteArray& bytes, PItemIDList& parent,
                         std::vector<PItemIDList>& children) {
    parent = nullptr;
    children.clear();
    const auto size = static_cast<std::size_t>(bytes.size());
    if (size < 8)
        return false;
    const std::uint32_t count = getU32(bytes, 0);
    if (count > (size - 8) / 4)
        return false;
    std::vector<TIDListPtr> ids;
    for (std::uint32_t i = 0; i <= count; ++i) {
        const std::uint32_t offset = getU32(bytes, 4 + 4 * static_cast<std::size_t>(i));
        if (offset >= size || IDValidSize(bytes.constData() + offset, size - offset) == 0)
            return false;
        PItemIDList id = TVelShID::IDClone(IDFromBytes(bytes.constData() + offset));
        if (!id)
            return false;
        ids.emplace_back(id);
    }
    parent = ids[0].release();
    for (std::size_t i = 1; i < ids.size(); ++i)
        children.push_back(ids[i].release());
    return true;
}

QByteArray ShEncodeUriList(const std::vector<std::string>& paths) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const std::string& path : paths) {
        out += "file://";
        for (const unsigned char c : path) {
            if (unreserved(c)) {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> ShDecodeUriList(const QByteArray& bytes) {
    std::vector<std::string> paths;
    const std::string text = bytes.toStdString();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find_first_of("\r\n", pos);
        if (eol == std::string::npos)
            eol = text.size();
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (line.empty() || line[0] == '#' || line.compare(0, 7, "file://") != 0)
            continue;
        const std::size_t slash = line.find('/', 7);
        const std::string host = line.substr(7, slash == std::string::npos ? 0 : slash - 7);
        if (slash == std::string::npos || (!host.empty() && host != "localhost"))
            continue; // not a file of this machine
        std::string path = PercentDecode(std::string_view(line).substr(slash));
        if (path.find('\0') == std::string::npos)
            paths.push_back(std::move(path));
    }
    return paths;
}

TVelShDragObject::TVelShDragObject(const QMimeData* data) : data_(data) {
    if (!data)
        throw EInvalidOperation(VelShCst::Text(VelShCst::SInvalidParameter));
}

TVelShDragObject::~TVelShDragObject() = default;

bool TVelShDragObject::HasShellData(const QMimeData* data) {
    return data && (data->hasFormat(QString::fromLatin1(kShellIDListArrayMime)) ||
                    !ShDecodeUriList(data->data(QString::fromLatin1(kUriListMime))).empty());
}

int TVelShDragObject::ItemCount() {
    if (itemCount_ < 0) {
        itemCount_ = 0;
        const QByteArray array = data_->data(QString::fromLatin1(kShellIDListArrayMime));
        if (data_->hasFormat(QString::fromLatin1(kShellIDListArrayMime))) {
            // The count field, as long as its offsets fit in the data.
            if (array.size() >= 8) {
                const std::uint32_t count = getU32(array, 0);
                if (count <= (static_cast<std::size_t>(array.size()) - 8) / 4)
                    itemCount_ = static_cast<int>(count);
            }
        } else {
            itemCount_ = static_cast<int>(
                ShDecodeUriList(data_->data(QString::fromLatin1(kUriListMime))).size());
        }
    }
    return itemCount_;
}

TVelShIDList& TVelShDragObject::IDList() {
    if (idList_)
        return *idList_;
    idList_ = std::make_unique<TVelShIDList>(true);
    PItemIDList parent = nullptr;
    std::vector<PItemIDList> children;
    if (ShDecodeIDListArray(data_->data(QString::fromLatin1(kShellIDListArrayMime)), parent,
                            children)) {
        idList_->SetParentID(parent);
        for (PItemIDList c : children)
            idList_->Add(c);
        return *idList_;
    }
    // Files dragged from other programs may come from several folders: the
    // parent is the deepest folder that holds them all, and each entry the rest
    // of its file's ID (one item or more).
    std::vector<TIDListPtr> absolutes;
    for (const std::string& path :
         ShDecodeUriList(data_->data(QString::fromLatin1(kUriListMime)))) {
        PItemIDList parsed = nullptr;
        if (TVelShID::IDParse(path, parsed))
            absolutes.emplace_back(parsed);
    }
    if (absolutes.empty())
        return *idList_;
    TIDListPtr common(TVelShID::IDCopyParent(absolutes.front().get()));
    for (const TIDListPtr& id : absolutes) {
        while (common && !TVelShID::IDIsAncestor(common.get(), id.get()))
            common.reset(TVelShID::IDCount(common.get()) > 0 ? TVelShID::IDCopyParent(common.get())
                                                             : nullptr);
    }
    if (!common)
        return *idList_; // cannot happen: the desktop holds everything
    const int skip = TVelShID::IDCount(common.get());
    for (const TIDListPtr& id : absolutes) {
        PCItemIDList rest = id.get();
        for (int i = 0; i < skip; ++i)
            rest = TVelShID::IDNext(rest);
        idList_->Add(TVelShID::IDClone(rest));
    }
    idList_->SetParentID(common.release());
    return *idList_;
}

} // namespace kelvora

#include "spi/plugins/heif/heif_canvas.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace kelvora::spikit {
namespace {

constexpr std::uint64_t kMaxMetaBytes = 16u << 20;

// Big-endian numbers from a range of bytes; every read checks the range.
class Cursor {
public:
    Cursor(const unsigned char* data, std::size_t size) : at_(data), end_(data + size) {}
    // An unsigned number of 0 to 8 bytes.
    bool number(std::size_t bytes, std::uint64_t& value) {
        if (bytes > 8 || left() < bytes)
            return false;
        value = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            value = value << 8 | *at_++;
        return true;
    }
    bool type(std::string& fourcc) {
        if (left() < 4)
            return false;
        fourcc.assign(reinterpret_cast<const char*>(at_), 4);
        at_ += 4;
        return true;
    }
    bool skip(std::size_t bytes) {
        if (left() < bytes)
            return false;
        at_ += bytes;
        return true;
    }
    std::size_t left() const { return static_cast<std::size_t>(end_ - at_); }
    const unsigned char* at() const { return at_; }

private:
    const unsigned char* at_;
    const unsigned char* end_;
};

struct Box {
    std::string type;
    const unsigned char* body;
    std::size_t size;
};

// The boxes one after another in a range; false when one runs past its end.
bool boxesIn(const unsigned char* data, std::size_t size, std::vector<Box>& boxes) {
    Cursor c(data, size);
    while (c.left() > 0) {
        std::uint64_t length;
        std::string type;
        if (!c.number(4, length) || !c.type(type))
            return false;
        std::uint64_t header = 8;
        if (length == 1) {
            if (!c.number(8, length))
                return false;
            header = 16;
        } else if (length == 0) {
            length = header + c.left(); // up to the end of the range
        }
        if (length < header || length - header > c.left())
            return false;
        boxes.push_back({type, c.at(), static_cast<std::size_t>(length - header)});
        c.skip(static_cast<std::size_t>(length - header));
    }
    return true;
}

// The file's meta box, read whole; nothing when there is none or it cannot be read.
std::optional<std::vector<unsigned char>> metaBox(const Input& in) {
    std::uint64_t at = 0;
    while (at + 8 <= in.size()) {
        unsigned char head[16];
        const long long got = in.read(at, head, sizeof head);
        if (got < 8)
            return std::nullopt;
        Cursor c(head, static_cast<std::size_t>(got));
        std::uint64_t length;
        std::string type;
        c.number(4, length);
        c.type(type);
        std::uint64_t header = 8;
        if (length == 1) {
            header = 16;
            if (!c.number(8, length))
                return std::nullopt;
        }
        if (length == 0)
            length = in.size() - at;
        if (length < header || length > in.size() - at)
            return std::nullopt;
        if (type == "meta") {
            if (length - header > kMaxMetaBytes)
                return std::nullopt;
            std::vector<unsigned char> body(static_cast<std::size_t>(length - header));
            if (in.read(at + header, body.data(), body.size()) !=
                static_cast<long long>(body.size()))
                return std::nullopt;
            return body;
        }
        at += length;
    }
    return std::nullopt;
}

struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0; // 0: to the end of the file or of the idat box
};
struct Location {
    std::uint64_t method = 0; // 0: in the file, 1: in the idat box
    std::uint64_t base = 0;
    std::vector<Extent> extents;
};

bool readItemTypes(const Box& iinf, std::map<std::uint64_t, std::string>& types) {
    Cursor c(iinf.body, iinf.size);
    std::uint64_t version;
    if (!c.number(1, version) || !c.skip(3) || !c.skip(version == 0 ? 2 : 4))
        return false;
    std::vector<Box> entries;
    if (!boxesIn(c.at(), c.left(), entries))
        return false;
    for (const Box& infe : entries) {
        if (infe.type != "infe")
            continue;
        Cursor e(infe.body, infe.size);
        std::uint64_t infeVersion, id;
        std::string type;
        if (!e.number(1, infeVersion) || !e.skip(3))
            return false;
        if (infeVersion < 2)
            continue; // no item type: no picture item
        if (!e.number(infeVersion == 2 ? 2 : 4, id) || !e.skip(2) || !e.type(type))
            return false;
        types[id] = type;
    }
    return true;
}

bool readLocations(const Box& iloc, std::map<std::uint64_t, Location>& locations) {
    Cursor c(iloc.body, iloc.size);
    std::uint64_t version, sizes, baseSizes, count;
    if (!c.number(1, version) || !c.skip(3) || !c.number(1, sizes) || !c.number(1, baseSizes) ||
        !c.number(version < 2 ? 2 : 4, count))
        return false;
    const bool methods = version == 1 || version == 2;
    const std::size_t offsetSize = sizes >> 4, lengthSize = sizes & 15;
    const std::size_t baseSize = baseSizes >> 4, indexSize = methods ? baseSizes & 15 : 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t id, method = 0, extents, ignored;
        Location where;
        if (!c.number(version < 2 ? 2 : 4, id) || (methods && !c.number(2, method)) || !c.skip(2) ||
            !c.number(baseSize, where.base) || !c.number(2, extents))
            return false;
        where.method = method & 15;
        for (std::uint64_t e = 0; e < extents; ++e) {
            Extent extent;
            if (!c.number(indexSize, ignored) || !c.number(offsetSize, extent.offset) ||
                !c.number(lengthSize, extent.length))
                return false;
            where.extents.push_back(extent);
        }
        locations[id] = std::move(where);
    }
    return true;
}

// The first bytes of an item's data, across its extents; fewer when it has fewer.
std::optional<std::vector<unsigned char>> itemStart(const Input& in, const Location& where,
                                                    const Box* idat, std::size_t wanted) {
    std::vector<unsigned char> bytes;
    for (const Extent& e : where.extents) {
        if (bytes.size() >= wanted)
            break;
        const std::uint64_t start = where.base + e.offset;
        if (start < where.base)
            return std::nullopt;
        const std::size_t need = wanted - bytes.size();
        if (where.method == 0) {
            if (start > in.size())
                return std::nullopt;
            const std::uint64_t available = e.length ? e.length : in.size() - start;
            std::vector<unsigned char> part(
                static_cast<std::size_t>(std::min<std::uint64_t>(need, available)));
            const long long got = in.read(start, part.data(), part.size());
            if (got < 0)
                return std::nullopt;
            bytes.insert(bytes.end(), part.begin(), part.begin() + got);
        } else if (where.method == 1 && idat) {
            if (start > idat->size)
                return std::nullopt;
            const std::uint64_t available = e.length ? e.length : idat->size - start;
            const std::size_t take = static_cast<std::size_t>(
                std::min<std::uint64_t>({need, available, idat->size - start}));
            bytes.insert(bytes.end(), idat->body + start, idat->body + start + take);
        } else {
            return std::nullopt; // data by item reference, or an idat that is missing
        }
    }
    return bytes;
}

// The canvas of a grid ("grid") or an overlay ("iovl") from its data.
std::optional<CanvasSize> canvasOf(const std::string& type,
                                   const std::vector<unsigned char>& data) {
    if (data.size() < 2)
        return std::nullopt;
    const std::size_t field = data[1] & 1 ? 4 : 2;
    // A grid: version, flags, rows - 1, columns - 1; an overlay: version, flags,
    // a colour of four 16-bit channels. Then the width and the height.
    const std::size_t at = type == "grid" ? 4 : 10;
    Cursor c(data.data(), data.size());
    CanvasSize size;
    if (!c.skip(at) || !c.number(field, size.width) || !c.number(field, size.height))
        return std::nullopt;
    return size;
}

} // namespace

std::optional<std::vector<CanvasSize>> DerivedCanvases(const Input& in) {
    const std::optional<std::vector<unsigned char>> meta = metaBox(in);
    if (!meta)
        return std::nullopt;
    std::vector<Box> boxes;
    if (meta->size() < 4 || !boxesIn(meta->data() + 4, meta->size() - 4, boxes))
        return std::nullopt;
    std::map<std::uint64_t, std::string> types;
    std::map<std::uint64_t, Location> locations;
    const Box* idat = nullptr;
    for (const Box& box : boxes) {
        if (box.type == "iinf" && !readItemTypes(box, types))
            return std::nullopt;
        if (box.type == "iloc" && !readLocations(box, locations))
            return std::nullopt;
        if (box.type == "idat")
            idat = &box;
    }
    std::vector<CanvasSize> canvases;
    for (const auto& [id, type] : types) {
        if (type != "grid" && type != "iovl")
            continue;
        const auto where = locations.find(id);
        if (where == locations.end())
            return std::nullopt;
        const auto data = itemStart(in, where->second, idat, 18);
        const std::optional<CanvasSize> canvas = data ? canvasOf(type, *data) : std::nullopt;
        if (!canvas)
            return std::nullopt;
        canvases.push_back(*canvas);
    }
    return canvases;
}

} // namespace kelvora::spikit

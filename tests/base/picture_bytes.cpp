#include "tests/base/picture_bytes.h"

#include <algorithm>

namespace kelvora::test {

Bytes& Bytes::u8(unsigned v) {
    data.push_back(static_cast<char>(v & 0xFF));
    return *this;
}
Bytes& Bytes::u16(unsigned v) {
    return u8(v).u8(v >> 8);
}
Bytes& Bytes::u32(std::uint32_t v) {
    return u16(v & 0xFFFF).u16(v >> 16);
}
Bytes& Bytes::raw(const std::string& bytes) {
    data += bytes;
    return *this;
}
Bytes& Bytes::zeros(std::size_t count) {
    data.append(count, '\0');
    return *this;
}

namespace {
std::string padded(std::string row) {
    row.append((4 - row.size() % 4) % 4, '\0');
    return row;
}
} // namespace

std::string bmpRows(const std::vector<std::string>& rowsTopToBottom, bool topDown) {
    std::string out;
    if (topDown)
        for (const auto& row : rowsTopToBottom)
            out += padded(row);
    else
        for (auto it = rowsTopToBottom.rbegin(); it != rowsTopToBottom.rend(); ++it)
            out += padded(*it);
    return out;
}

std::string makeBmp(const BmpLayout& layout) {
    Bytes header;
    if (layout.headerSize == 12) {
        header.u32(12).u16(layout.width).u16(layout.height).u16(1).u16(layout.bits);
    } else {
        header.u32(layout.headerSize).u32(layout.width).u32(layout.height).u16(1).u16(layout.bits);
        header.u32(layout.compression).u32(layout.pixels.size()).u32(3780).u32(3780);
        header.u32(layout.colorsUsed).u32(0);
        if (layout.headerSize >= 52)
            for (std::size_t i = 0; i < 4; ++i)
                header.u32(i < layout.masks.size() ? layout.masks[i] : 0);
        if (layout.headerSize >= 108)
            header.u32(0x73524742).zeros(48); // sRGB, end points, gamma
        if (layout.headerSize >= 124)
            header.u32(4).u32(0).u32(0).u32(0);      // intent, no profile
        header.data.resize(layout.headerSize, '\0'); // OS/2 2.x headers may be cut anywhere
    }
    if (layout.headerSize < 52)
        for (std::uint32_t mask : layout.masks)
            header.u32(mask);
    for (QRgb c : layout.palette) {
        header.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c));
        if (layout.headerSize != 12)
            header.u8(0);
    }
    const auto offset = static_cast<std::uint32_t>(14 + header.data.size());
    Bytes file;
    file.raw("BM")
        .u32(offset + layout.pixels.size())
        .u32(0)
        .u32(layout.dataOffset.value_or(offset));
    return file.raw(header.data).raw(layout.pixels).data;
}

std::string iconBitmapEntry(const IconBitmap& bitmap) {
    Bytes out;
    out.u32(40).u32(bitmap.width).u32(bitmap.height * 2).u16(1).u16(bitmap.bits);
    out.u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    if (bitmap.bits <= 8)
        for (int i = 0; i < (1 << bitmap.bits); ++i) {
            const QRgb c = i < static_cast<int>(bitmap.palette.size()) ? bitmap.palette[i] : 0;
            out.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c)).u8(0);
        }
    out.raw(bmpRows(bitmap.rows)).raw(bmpRows(bitmap.maskRows));
    return out.data;
}

std::string makeIco(const std::vector<IconEntrySpec>& entries) {
    Bytes out;
    out.u16(0).u16(1).u16(static_cast<unsigned>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const auto& e : entries) {
        out.u8(e.width == 256 ? 0 : e.width).u8(e.height == 256 ? 0 : e.height).u8(0).u8(0);
        out.u16(1).u16(e.bits).u32(e.data.size()).u32(e.offset.value_or(offset));
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const auto& e : entries)
        out.raw(e.data);
    return out.data;
}

namespace {
// A WMF record: size in 16-bit words, function, parameters.
void wmfRecord(Bytes& out, unsigned function, const Bytes& parameters) {
    out.u32(static_cast<std::uint32_t>(3 + parameters.data.size() / 2)).u16(function);
    out.raw(parameters.data);
}
} // namespace

std::string makeWmf(bool placeable, int boxWidth, int boxHeight, int unitsPerInch,
                    std::uint32_t colorRef) {
    Bytes records;
    wmfRecord(records, 0x020B, Bytes().u16(0).u16(0));                // SETWINDOWORG y, x
    wmfRecord(records, 0x020C, Bytes().u16(boxHeight).u16(boxWidth)); // SETWINDOWEXT y, x
    wmfRecord(records, 0x02FC, Bytes().u16(0).u32(colorRef).u16(0));  // CREATEBRUSHINDIRECT
    wmfRecord(records, 0x012D, Bytes().u16(0));                       // SELECTOBJECT brush
    wmfRecord(records, 0x02FA, Bytes().u16(5).u16(0).u16(0).u32(0));  // CREATEPENINDIRECT null
    wmfRecord(records, 0x012D, Bytes().u16(1));                       // SELECTOBJECT pen
    wmfRecord(records, 0x041B, Bytes().u16(boxHeight).u16(boxWidth / 2).u16(0).u16(0)); // RECTANGLE
    wmfRecord(records, 0x0000, Bytes());                                                // EOF

    Bytes out;
    if (placeable) {
        Bytes head;
        head.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(boxWidth).u16(boxHeight);
        head.u16(unitsPerInch).u32(0);
        unsigned checksum = 0;
        for (std::size_t i = 0; i < head.data.size(); i += 2)
            checksum ^= static_cast<unsigned char>(head.data[i]) |
                        static_cast<unsigned char>(head.data[i + 1]) << 8;
        out.raw(head.data).u16(checksum);
    }
    const auto words = static_cast<std::uint32_t>((18 + records.data.size()) / 2);
    out.u16(1).u16(9).u16(0x0300).u32(words).u16(2).u32(9).u16(0);
    return out.raw(records.data).data;
}

std::string makeEmf(int frameWidth, int frameHeight, std::uint32_t colorRef) {
    const int width = frameWidth * 96 / 2540;
    const int height = frameHeight * 96 / 2540;
    Bytes records;
    records.u32(39).u32(24).u32(1).u32(0).u32(colorRef).u32(0); // CREATEBRUSHINDIRECT, handle 1
    records.u32(37).u32(12).u32(1);                             // SELECTOBJECT brush
    records.u32(37).u32(12).u32(0x80000008);                    // SELECTOBJECT stock NULL_PEN
    records.u32(43).u32(24).u32(0).u32(0).u32(width / 2).u32(height); // RECTANGLE
    records.u32(14).u32(20).u32(0).u32(16).u32(20);                   // EOF
    const std::uint32_t total = 88 + static_cast<std::uint32_t>(records.data.size());
    Bytes out;
    out.u32(1).u32(88);                                 // EMR_HEADER
    out.u32(0).u32(0).u32(width - 1).u32(height - 1);   // bounds, device pixels
    out.u32(0).u32(0).u32(frameWidth).u32(frameHeight); // frame, 0.01 mm
    out.u32(0x464D4520).u32(0x10000).u32(total).u32(6); // " EMF", version, bytes, records
    out.u16(2).u16(0).u32(0).u32(0).u32(0);             // handles, description, palette
    out.u32(960).u32(960).u32(254).u32(254);            // 960 px in 254 mm: 96 dpi
    return out.raw(records.data).data;
}

} // namespace kelvora::test

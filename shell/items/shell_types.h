#pragma once
// Enumerations, sets, flag words and records of the folder browser's item model.
// Flag values are the shell's published ones, so that code written against
// them reads the same here.
#include <cstdint>
#include <string>

namespace kelvora {

// Special folders; the ordinal order matters (it is stored in forms and options).
enum TShSpecialFolderID : std::uint8_t {
    sfidDeskTop,
    sfidInterNet,
    sfidPrograms,
    sfidControls,
    sfidPrinters,
    sfidPersonal,
    sfidFavorites,
    sfidStartUp,
    sfidRecent,
    sfidSendTo,
    sfidBitBucket,
    sfidStartMenu,
    sfidDeskTopFolder,
    sfidDrives,
    sfidNetWork,
    sfidNetHood,
    sfidFonts,
    sfidTemplates,
    sfidCommonStartMenu,
    sfidCommonPrograms,
    sfidCommonStartUp,
    sfidCommonDeskTopFolder,
    sfidAppData,
    sfidPrintHood,
    sfidAltStartUp,
    sfidCommonAltStartUp,
    sfidCommonFavorites,
    sfidInterNetCache,
    sfidCookies,
    sfidHistory,
};
inline constexpr int kShSpecialFolderCount = sfidHistory + 1;

// The shell's special-folder number (CSIDL) of each value.
int ShSpecialFolderNumber(TShSpecialFolderID id);

enum TShItemIDType : std::uint8_t {
    itUnknown, // not yet computed
    itDeskTop,
    itMyComputer,
    itRootDrive,
    itFolder,
    itFile,
    itBitBucket,
    itNetWork,
    itVirtual,
    itInterNet,
    itControls,
};

// TShVirtuaItem is itBitBucket..itControls; the set is stored as a 16-bit word
// whose bit numbers are the ordinals.
class TShVirtuaItems {
public:
    constexpr TShVirtuaItems() = default;
    static constexpr TShVirtuaItems fromMask(std::uint16_t mask) {
        TShVirtuaItems s;
        s.bits_ = mask & kAll;
        return s;
    }
    static constexpr TShVirtuaItems defaults() { return fromMask(192); } // BitBucket, NetWork
    constexpr std::uint16_t mask() const { return bits_; }
    constexpr bool contains(TShItemIDType t) const {
        return t >= itBitBucket && t <= itControls && (bits_ >> t) & 1;
    }
    constexpr void include(TShItemIDType t) {
        if (t >= itBitBucket && t <= itControls)
            bits_ |= static_cast<std::uint16_t>(1u << t);
    }
    constexpr void exclude(TShItemIDType t) {
        if (t >= itBitBucket && t <= itControls)
            bits_ &= static_cast<std::uint16_t>(~(1u << t));
    }
    constexpr bool operator==(const TShVirtuaItems&) const = default;

private:
    static constexpr std::uint16_t kAll = 0x7C0; // bits 6..10
    std::uint16_t bits_ = 0;
};

enum TShContents : std::uint8_t { scFolders, scFiles, scHidden };

class TShContentsSet {
public:
    constexpr TShContentsSet() = default;
    static constexpr TShContentsSet fromMask(std::uint8_t mask) {
        TShContentsSet s;
        s.bits_ = mask & 7;
        return s;
    }
    static constexpr TShContentsSet defaults() { return fromMask(7); }
    constexpr std::uint8_t mask() const { return bits_; }
    constexpr bool contains(TShContents c) const { return (bits_ >> c) & 1; }
    constexpr void include(TShContents c) { bits_ |= static_cast<std::uint8_t>(1u << c); }
    constexpr void exclude(TShContents c) { bits_ &= static_cast<std::uint8_t>(~(1u << c)); }
    constexpr bool operator==(const TShContentsSet&) const = default;

private:
    std::uint8_t bits_ = 0;
};

// Item attribute flags (SFGAO_*).
inline constexpr std::uint32_t SFGAO_CANCOPY = 0x00000001;
inline constexpr std::uint32_t SFGAO_CANMOVE = 0x00000002;
inline constexpr std::uint32_t SFGAO_CANLINK = 0x00000004;
inline constexpr std::uint32_t SFGAO_CANRENAME = 0x00000010;
inline constexpr std::uint32_t SFGAO_CANDELETE = 0x00000020;
inline constexpr std::uint32_t SFGAO_HASPROPSHEET = 0x00000040;
inline constexpr std::uint32_t SFGAO_DROPTARGET = 0x00000100;
inline constexpr std::uint32_t SFGAO_CAPABILITYMASK = 0x00000177;
inline constexpr std::uint32_t SFGAO_GHOSTED = 0x00008000;
inline constexpr std::uint32_t SFGAO_LINK = 0x00010000;
inline constexpr std::uint32_t SFGAO_SHARE = 0x00020000;
inline constexpr std::uint32_t SFGAO_READONLY = 0x00040000;
inline constexpr std::uint32_t SFGAO_HIDDEN = 0x00080000;
inline constexpr std::uint32_t SFGAO_NONENUMERATED = 0x00100000;
inline constexpr std::uint32_t SFGAO_NEWCONTENT = 0x00200000;
inline constexpr std::uint32_t SFGAO_REMOVABLE = 0x02000000;
inline constexpr std::uint32_t SFGAO_COMPRESSED = 0x04000000;
inline constexpr std::uint32_t SFGAO_BROWSABLE = 0x08000000;
inline constexpr std::uint32_t SFGAO_FILESYSANCESTOR = 0x10000000;
inline constexpr std::uint32_t SFGAO_FOLDER = 0x20000000;
inline constexpr std::uint32_t SFGAO_FILESYSTEM = 0x40000000;
inline constexpr std::uint32_t SFGAO_HASSUBFOLDER = 0x80000000;

// Display-name flags (SHGDN_*).
inline constexpr std::uint32_t SHGDN_NORMAL = 0x0000;
inline constexpr std::uint32_t SHGDN_INFOLDER = 0x0001;
inline constexpr std::uint32_t SHGDN_FOREDITING = 0x1000;
inline constexpr std::uint32_t SHGDN_FORADDRESSBAR = 0x4000;
inline constexpr std::uint32_t SHGDN_FORPARSING = 0x8000;

// Enumeration flags (SHCONTF_*).
inline constexpr std::uint32_t SHCONTF_FOLDERS = 0x20;
inline constexpr std::uint32_t SHCONTF_NONFOLDERS = 0x40;
inline constexpr std::uint32_t SHCONTF_INCLUDEHIDDEN = 0x80;

// File attributes of the find record (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x0001;
inline constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x0002;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x0010;
inline constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x0020;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x0080;
inline constexpr std::uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x0400;
inline constexpr std::uint32_t FILE_ATTRIBUTE_COMPRESSED = 0x0800;

// The file-find record of an item. Times are nanoseconds since 1970-01-01 UTC,
// 0 when unknown (the creation time is 0 on file systems that keep none).
struct TShFindData {
    std::uint32_t fileAttributes = 0;
    std::int64_t creationTime = 0;
    std::int64_t lastAccessTime = 0;
    std::int64_t lastWriteTime = 0;
    std::uint32_t fileSizeHigh = 0;
    std::uint32_t fileSizeLow = 0;
    std::string fileName;          // raw name bytes; empty = not read
    std::string alternateFileName; // short name: none on this platform

    std::uint64_t fileSize() const { return (std::uint64_t{fileSizeHigh} << 32) | fileSizeLow; }
    bool empty() const { return fileName.empty(); }
};

} // namespace kelvora
